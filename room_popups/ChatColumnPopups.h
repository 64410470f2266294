// The chat column's popups, owned by the column and destroyed with the room window. UI thread only.
#pragma once

#include "ChatNoticePopups.h"

namespace roomui {

class CChatColumnPopups {
public:
    roompopups::CUISendTrumpet trumpet;
    roompopups::CUITemporaryNotice notice;
    roompopups::CUISetWelcomWords welcome;
};

}  // namespace roomui
