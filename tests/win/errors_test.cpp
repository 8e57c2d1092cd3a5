#include <gtest/gtest.h>

#include <windows.h>

#include "stand_in/errors.h"

TEST(ErrorText, TheNumberItsNameAndWhatItMeans) {
  EXPECT_EQ(stand_in::ErrorText(static_cast<HRESULT>(0x80040154u)),
            "0x80040154 REGDB_E_CLASSNOTREG, the class is not registered");
  // A Win32 error carried in an HRESULT reads as the error.
  EXPECT_EQ(stand_in::ErrorText(static_cast<HRESULT>(0x800703F1u)), "0x800703F1 ERROR_BADDB, the registry file is damaged");
  EXPECT_EQ(stand_in::ErrorText(static_cast<HRESULT>(0x80070005u)), "0x80070005 E_ACCESSDENIED, access is denied");
  EXPECT_EQ(stand_in::Win32ErrorText(126), "error 126 ERROR_MOD_NOT_FOUND, the module cannot be found");
  // Unknown codes are their number alone.
  EXPECT_EQ(stand_in::ErrorText(static_cast<HRESULT>(0x8BADF00Du)), "0x8BADF00D");
  EXPECT_EQ(stand_in::ErrorText(static_cast<HRESULT>(0x80071234u)), "0x80071234");
  EXPECT_EQ(stand_in::Win32ErrorText(4242), "error 4242");
}
