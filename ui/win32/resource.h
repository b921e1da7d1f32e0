// Resource and control identifiers, shared by the resource script and the code.
// Plain macros: the resource compiler reads this file too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONFIGURATOR_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_PROGRAMMING 1089
#define IDC_SERVER_MAC 1104
#define IDC_IP_ADDRESS 1105
#define IDC_CONNECT_PROGRAM_DISCONNECT 1127
#define IDC_NICKNAME 1128

// The system-menu entry of the About box: below 0xF000, low four bits clear.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
