// Number of video capture devices, as the capture library counts them.
#include "Grabbel.h"

int CameraCountSystem() { return Grabbel::CameraCount(); }
