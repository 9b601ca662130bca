// Resource identifiers of the Windows program, shared by tavro.rc and the
// code. The command identifiers come from app/window_proc.h in C++; the
// resource compiler cannot read that enum and gets them here.
#pragma once

#define IDR_MAINMENU 101
#define IDD_ABOUT 102
#define IDD_NAME_ENTRY 103
#define IDI_TAVRO 104
#define IDC_CROSSHAIR 105
#define IDC_NAME_FIELD 1000

// The embedded effect files, resource type "WAVE".
#define IDW_SHOT 110
#define IDW_LANDS 112
#define IDW_FIREWORKS 114
#define IDW_DESTROYED 115

#ifdef RC_INVOKED
#define ID_GAME_START 40001
#define ID_GAME_STOP 40002
#define ID_GAME_EXIT 40003
#define ID_SETTINGS_RAPID 40004
#define ID_HELP_ABOUT 40005
#define ID_HELP_WINDOWS_HELP 40006
#define ID_GAME_CLEAR_RANKING 40007
#define ID_SETTINGS_SOUND 40008
#define ID_SETTINGS_WAIT 40009
#endif
