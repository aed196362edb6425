#pragma once
// Resource numbers of the window's pictures and of the transfer clip, shared
// by the resource script (zorload_wizard.rc.in) and the window. Plain macros:
// the resource compiler reads this file too.

// The program's icon (16, 32, 48 and 256 pixels): the exe's in Explorer, the
// Start menu and the update files' type, and the window's. The lowest
// number, so that Windows takes it as the exe's.
#define ZOR_RES_ICON 1

// The clip the transfer page's animation plays (resource type "AVI").
#define ZOR_RES_TRANSFER_CLIP 1000

// Bitmaps. The three 32 x 32 icons are keyed: magenta (255, 0, 255) is
// transparent.
#define ZOR_RES_HEADER 2001
#define ZOR_RES_START 2002
#define ZOR_RES_PORT 2003
#define ZOR_RES_COMPONENTS 2004
#define ZOR_RES_NOSPACE 2005
