// Marks what a media shared library exports; everything else in it is hidden.
#pragma once

#define VARNET_MEDIA_EXPORT __attribute__((visibility("default")))
