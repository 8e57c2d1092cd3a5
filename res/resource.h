/* Resource ids of the add-in module. Preprocessor definitions only: the
   resource script includes this header as well as the C++ code. */
#ifndef TESSALY_RESOURCE_H
#define TESSALY_RESOURCE_H

/* Registration scripts of the two classes. */
#define IDR_MYTESSALY 101
#define IDR_BITMAPHANDLER 111

/* Command icons (Import, Help, spare, About) and the add-in's icon. */
#define IDB_TOOLBAR_SMALL 208
#define IDB_TOOLBAR_LARGE 205
#define IDB_MAIN_SMALL 204
#define IDB_MAIN_LARGE 202

/* Import options dialog and its dialog initialisation data. */
#define IDD_TESSALY_OPTIONS 209

/* Controls of the import options dialog. */
#define IDC_CHECK_YUP 202
#define IDC_RADIO_SOLID 1022
#define IDC_RADIO_SKETCH 1023
#define IDC_COMBO_UNITS 1024
#define IDC_CHECK_PROGRESS 1027
#define IDC_CHECK_MULTIBODY 1028

#endif
