// The room-service commands, one row each: the class, the command as sent and as replied (the factory's key),
// and the type id of the query. The factory's registry and each command object's name and type id come from
// here; a command is added by one row and its class in ZQCommands.h.
#pragma once

#define ZQ_COMMAND_TABLE(X)                        \
    X(CZQBroadCastMsg, "broadcast", 18)            \
    X(CZQCheckNickMsg, "checknick", 1)             \
    X(CZQEnterRoomMsg, "enterroom", 9)             \
    X(CZQExitRoomMsg, "exitroom", 10)              \
    X(CZQGetAllNavMsg, "getallnav", 7)             \
    X(CZQGetAnonyUserMsg, "getanonyuser", 5)       \
    X(CZQGetCateListMsg, "getcatelist", 8)         \
    X(CZQGetChatSigMsg, "getchatsig", 24)          \
    X(CZQGetLiveSigMsg, "getlivesig", 20)          \
    X(CZQGetMicInfoMsg, "getmicinfo", 35)          \
    X(CZQGetMicMsg, "getmic", 28)                  \
    X(CZQGetMyInfoMsg, "getmyinfo", 3)             \
    X(CZQGetRoomInfoMsg, "getroominfo", 11)        \
    X(CZQGetRoomUserMsg, "getroomuser", 15)        \
    X(CZQGetUserInfoMsg, "getuserinfo", 25)        \
    X(CZQGetUserLocMsg, "getuserloc", 1)           \
    X(CZQHeartBeatMsg, "heartbeat", 14)            \
    X(CZQKickRoomMsg, "kickroom", 1)               \
    X(CZQLogInMsg, "login", 1)                     \
    X(CZQLogOutMsg, "logout", 2)                   \
    X(CZQOpFavRoomMsg, "opfavroom", 12)            \
    X(CZQOpMicAttrMsg, "opmicattr", 27)            \
    X(CZQOpMicMsg, "opmic", 1)                     \
    X(CZQOpRoomBlackUserMsg, "oproomblackuser", 1) \
    X(CZQOpRoomUserChatMsg, "oproomuserchat", 1)   \
    X(CZQOpRoomUserRoleMsg, "oproomuserrole", 1)   \
    X(CZQSendColorBarMsg, "sendcolorbar", 36)      \
    X(CZQSendGiftMsg, "sendgift", 17)              \
    X(CZQSendMultiGiftMsg, "sendmultigift", 17)    \
    X(CZQSendTagMsg, "sendtag", 17)                \
    X(CZQSendTmpNoticeMsg, "sendtmpnotice", 34)    \
    X(CZQSysNotifyMsg, "notify", 38)               \
    X(CZQUpdateMyInfoMsg, "updatemyinfo", 4)       \
    X(CZQUpdateRoomInfoMsg, "updateroominfo", 13)  \
    X(CZQUpdateWelWord, "updatewelword", 37)
