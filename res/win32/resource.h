// Resource identifiers of the Windows program, shared by tavro.rc and the
// code. The command identifiers come from app/window_proc.h in C++; the
// resource compiler cannot read that enum and gets them here.
#pragma once

#define IDR_MAINMENU 101
#define IDD_ABOUT 102
#define IDD_NAME_ENTRY 103
#define IDI_TAVRO 104
#define IDC_CROSSHAIR 105
#define IDD_SHARED_RANKING 106
#define IDC_NAME_FIELD 1000

// The shared ranking dialog's controls.
#define IDC_ONLINE_ENABLE 1001
#define IDC_ONLINE_DISCLOSURE 1002
#define IDC_ONLINE_SERVER_LABEL 1003
#define IDC_ONLINE_SERVER 1004
#define IDC_ONLINE_AUTOSEND 1005
#define IDC_SHARED_TABS 1006
#define IDC_SHARED_LIST 1007
#define IDC_SHARED_STATE 1008
#define IDC_SHARED_WATCH 1009
#define IDC_SHARED_REFRESH 1010
#define IDC_SHARED_STATUS 1011

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
#define ID_GAME_SHARED_RANKING 40010
#endif
