#pragma once

// Resource ids of the Windows program, shared by the resource script and the window code.

#define IDI_MAIN 101

#define IDB_BG 201
#define IDB_BIN_ON 202
#define IDB_BIN_OFF 203
#define IDB_CAB_1024 204
#define IDB_CAB_1280 205

#define IDC_BINPATCH 301
#define IDC_CABVIEW 302
