#pragma once
#define IDI_HELLO 1
#define IDR_MENU 100
#define IDD_ABOUT 200
#define IDM_EXIT 1001
#define IDM_GUIDE 1002
#define IDM_ABOUT 1003
