// Every resource and command id of the program, for the .rc file and the code alike (the
// resource compiler reads only #define).
#pragma once

#define IDI_PICLADE 129        // the program's icon
#define IDR_ABOUT_PICTURE 130  // the picture on the about page (RCDATA)

// The album list's menu.
#define IDM_DOWNLOAD_SELECTED 10000
#define IDM_OPEN_FOLDER 10001
#define IDM_SIZE_LARGE 10002
#define IDM_SIZE_MIDDLE 10003
#define IDM_SIZE_SMALL 10004
#define IDM_SIZE_THUMBNAIL 10005
#define IDM_DOWNLOAD_ALL 10006
#define IDM_PAUSE_DOWNLOAD 10007

// Keys that are commands of the main window.
#define IDM_NEXT_PAGE 10008      // Ctrl+Tab
#define IDM_PREVIOUS_PAGE 10009  // Ctrl+Shift+Tab

// The operation page's buttons.
#define IDC_ANALYSE 20001
#define IDC_BROWSE 20002
