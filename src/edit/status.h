#pragma once
// The editor's status messages (src/resources/edit_messages.txt, merged into the message table).
namespace trazel::edit {

// Message numbers: shown through shell::show_message, keys "4.xx".
enum Message : int {
    kMsgGrabLine = 0x401,
    kMsgGrabVertex = 0x402,
    kMsgGrabArc = 0x403,
    kMsgGrabArcOrigin = 0x404,
    kMsgGrabArcEnd = 0x405,
    kMsgGrabPad = 0x406,
    kMsgGrabText = 0x407,
    kMsgGrabComponent = 0x408,
    kMsgGrabComponentOnly = 0x409,
    kMsgGrabSolid = 0x40A,
    kMsgGrabItem = 0x40B,
    kMsgDropOrCancel = 0x410,
    kMsgNothingToRotate = 0x420,
    kMsgNothingToMirror = 0x421,
    kMsgNothingToScale = 0x422,
    kMsgBadAngle = 0x423,
    kMsgBadFactor = 0x424,
    kMsgComponentNotFound = 0x425,
    kMsgPoolExhausted = 0x426,
    kMsgUndone = 0x430,
    kMsgRedone = 0x431,
    kMsgUndoPurged = 0x432,
    kMsgRedoPurged = 0x433,
};

} // namespace trazel::edit
