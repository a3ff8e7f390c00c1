// WMI through COM. Wine's WMI service answers the system classes with
// made-up but well-formed objects.
#include <windows.h>
// After windows.h.
#include <oleauto.h>

#include <gtest/gtest.h>

#include "os/win32/Win32Wmi.h"

namespace {

TEST(Win32Wmi, OperatingSystemClassAnswers) {
  os::CWin32Wmi wmi;
  auto objects = wmi.Query("root\\cimv2", "SELECT * FROM Win32_OperatingSystem");
  ASSERT_TRUE(objects);
  ASSERT_EQ(objects->size(), 1u);
  const os::WmiObject& o = objects->front();
  EXPECT_FALSE(o.String("Caption").empty());
  EXPECT_FALSE(o.String("Version").empty());
  // Names are found whatever their case.
  EXPECT_EQ(o.String("caption"), o.String("CAPTION"));
}

TEST(Win32Wmi, DiskDriveSizesReadAsNumbers) {
  os::CWin32Wmi wmi;
  auto objects = wmi.Query("root\\cimv2", "SELECT * FROM Win32_DiskDrive");
  ASSERT_TRUE(objects);
  for (const os::WmiObject& o : *objects) {
    // uint64 values come as text and still read as numbers.
    if (o.Has("Size")) {
      EXPECT_GE(o.Int("Size", -1), 0);
    }
    EXPECT_FALSE(o.String("DeviceID").empty());
  }
}

TEST(Win32Wmi, FailuresGiveNothing) {
  os::CWin32Wmi wmi;
  EXPECT_FALSE(wmi.Query("root\\NoSuchNamespace", "SELECT * FROM Win32_OperatingSystem"));
  EXPECT_FALSE(wmi.Query("root\\cimv2", "THIS IS NOT WQL"));
  EXPECT_FALSE(wmi.Query("root\\cimv2", std::string("SELECT * FROM Win32_Bios\0x", 26)));
}

TEST(Win32Wmi, RepeatedQueriesOnOneThread) {
  os::CWin32Wmi wmi;
  for (int i = 0; i < 3; ++i) {
    auto objects = wmi.Query("root\\cimv2", "SELECT Caption FROM Win32_OperatingSystem");
    ASSERT_TRUE(objects);
    EXPECT_EQ(objects->size(), 1u);
  }
}

// VARIANTs as WMI hands them.
TEST(Win32WmiVariant, ConvertsEveryKindTheProgramReads) {
  VARIANT v;
  VariantInit(&v);

  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(L"Gr\u00fc\u00dfe \u20ac");
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_STRING),
            os::WmiValue(std::string("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC")));
  VariantClear(&v);

  V_VT(&v) = VT_I4;
  V_I4(&v) = -1;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_UINT32), os::WmiValue(int64_t{4294967295}));
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_SINT32), os::WmiValue(int64_t{-1}));

  V_VT(&v) = VT_UI1;
  V_UI1(&v) = 200;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_UINT8), os::WmiValue(int64_t{200}));

  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_BOOLEAN), os::WmiValue(true));

  V_VT(&v) = VT_UI8;
  V_UI8(&v) = ~0ull;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_UINT64), os::WmiValue());

  V_VT(&v) = VT_NULL;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_STRING), os::WmiValue());
}

TEST(Win32WmiVariant, ByteAndStringArrays) {
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(bytes, nullptr);
  uint8_t* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(bytes, reinterpret_cast<void**>(&data)), S_OK);
  for (uint8_t i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(0xF0 + i);
  SafeArrayUnaccessData(bytes);
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = bytes;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_UINT8 | CIM_FLAG_ARRAY),
            os::WmiValue(std::vector<uint8_t>{0xF0, 0xF1, 0xF2, 0xF3}));
  VariantClear(&v);

  SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(texts, nullptr);
  LONG index = 0;
  BSTR a = SysAllocString(L"PCI\\VEN_8086");
  BSTR b = SysAllocString(L"");
  SafeArrayPutElement(texts, &index, a);
  index = 1;
  SafeArrayPutElement(texts, &index, b);
  SysFreeString(a);
  SysFreeString(b);
  V_VT(&v) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&v) = texts;
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_STRING | CIM_FLAG_ARRAY),
            os::WmiValue(std::vector<std::string>{"PCI\\VEN_8086", ""}));
  VariantClear(&v);

  // An empty array is an empty list, not a failure.
  V_VT(&v) = VT_ARRAY | VT_UI1;
  V_ARRAY(&v) = SafeArrayCreateVector(VT_UI1, 0, 0);
  EXPECT_EQ(os::ConvertWmiVariant(v, CIM_UINT8 | CIM_FLAG_ARRAY),
            os::WmiValue(std::vector<uint8_t>{}));
  VariantClear(&v);
}

}  // namespace
