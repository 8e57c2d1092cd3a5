/* Ids of the resources of the test program. */
#ifndef TEST_IDS_H
#define TEST_IDS_H

#define IDR_BYTES 101
#define IDR_CUSTOM 102
#define IDR_LANGUAGES 103
#define IDB_RGB24 208
#define IDB_RGB24_TOPDOWN 209
#define IDB_RGB32 210
#define IDB_PAL4 211
#define IDB_PAL8 212
#define IDB_RGB16 213

#endif
