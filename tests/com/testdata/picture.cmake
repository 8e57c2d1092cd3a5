# Bitmaps for the picture tests, carried by the test program itself: the
# platform's test bitmaps and the add-in's own toolbar.
set(picture_testdata ${CMAKE_CURRENT_LIST_DIR})
set(picture_bitmaps ${PROJECT_SOURCE_DIR}/tests/win/testdata)
tessaly_add_resources(TARGET com_tests RC ${picture_testdata}/picture.rc
  DEPENDS ${picture_bitmaps}/rgb24.bmp ${picture_bitmaps}/rgb24_topdown.bmp ${picture_bitmaps}/rgb32.bmp
          ${picture_bitmaps}/pal4.bmp ${picture_bitmaps}/pal8.bmp ${PROJECT_SOURCE_DIR}/res/toolbar_small.bmp)
target_compile_definitions(com_tests PRIVATE
  PICTURE_BITMAPS="${picture_bitmaps}" PICTURE_TOOLBAR="${PROJECT_SOURCE_DIR}/res/toolbar_small.bmp")
target_include_directories(com_tests PRIVATE ${picture_testdata})
