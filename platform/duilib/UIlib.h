// The UI library: include this.
#pragma once

#include "UIBackend.h"
#include "UIContainer.h"
#include "UIControl.h"
#include "UIControls.h"
#include "UIDefine.h"
#include "UIDlgBuilder.h"
#include "UIGif.h"
#include "UIList.h"
#include "UIManager.h"
#include "UIMenu.h"
#include "UIRender.h"
#include "UIWindow.h"
