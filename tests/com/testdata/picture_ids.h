/* Bitmap ids of the picture tests. */
#ifndef PICTURE_IDS_H
#define PICTURE_IDS_H

#define IDB_PICTURE_RGB24 301
#define IDB_PICTURE_TOPDOWN 302
#define IDB_PICTURE_RGB32 303
#define IDB_PICTURE_PAL4 304
#define IDB_PICTURE_PAL8 305
#define IDB_PICTURE_TOOLBAR 306

#endif
