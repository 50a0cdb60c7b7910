// The names under which the framework keeps a window's properties and events, each stored once.
// The stored strings are the framework's own and never change; the names in code say what they hold.
#pragma once

namespace property {

inline constexpr char Style[] = "qvStyle";        // the style bits the framework adds
inline constexpr char FreeMove[] = "FreeMove";    // dragged by its client area
inline constexpr char Border[] = "Border";
inline constexpr char OldWndProc[] = "oldWndProp";
inline constexpr char BackColor[] = "BackColor";
inline constexpr char Window[] = "hWnd";
inline constexpr char ShowImageType[] = "ShowImageType";
inline constexpr char SmoothScaling[] = "SmoothScaling";  // a scaled picture drawn smoothly, not by pixels
inline constexpr char DialogResult[] = "DialogResult";
inline constexpr char PlayGif[] = "PlayGif";
inline constexpr char BackImage[] = "pBackImage";
inline constexpr char PlayState[] = "PlayState";
inline constexpr char TaskbarCreated[] = "TaskbarCreatedMsg";
inline constexpr char NotifyIconData[] = "NotifyiconData";
inline constexpr char MouseInside[] = "isMoveIn";
inline constexpr char VerticalCenter[] = "vCenter";
inline constexpr char TextColor[] = "TextColor";
inline constexpr char OnFirstActivate[] = "OnFirstActivate";
inline constexpr char StartPosition[] = "StartPosition";
inline constexpr char Accelerator[] = "hAccel";
inline constexpr char FirstActivate[] = "FirstActivte";
inline constexpr char WaitCursor[] = "WaitCursor";
inline constexpr char OnNotifyIcon[] = "OnNotifIcon";
inline constexpr char EnableHover[] = "EnlableHover";
inline constexpr char OnWndMsg[] = "OnWndMsg";
inline constexpr char AcceleratorTable[] = "hAccelTable";
inline constexpr char EscClose[] = "EscClose";
inline constexpr char NcEverActive[] = "NCEverActive";

} // namespace property
