/** @file
  FruSmbiosDxe and strings two fields share: for every string field the
  driver changes and every other string field of the same type, a platform
  whose two fields point to one string gets the FRU's value in the first and
  keeps its text in the second.

  SPDX-License-Identifier: BSD-2-Clause-Patent
**/

#include "FruSmbiosBoard.h"

using namespace FruSmbiosTest;

namespace {

constexpr UINT8  NO_FIELD = 0xFF;

///
/// A string field of one type; Area/Field name the FRU field that fills it
/// (Field NO_FIELD: the driver leaves it).
///
struct StringField {
  UINT8    Offset;
  int      Area;         ///< 1 chassis, 2 board, 3 product (FruTest::Image's order)
  UINT8    Field;        ///< index among the area's fields
};

struct TypeFields {
  UINT8                      Type;
  UINT16                     Handle;
  UINT8                      FormattedSize;
  std::vector<StringField>   Fields;
};

const std::vector<TypeFields>  mTypes = {
  { 1, TYPE1_HANDLE, 0x1B, { { T1_MANUFACTURER, 3, 0 }, { T1_PRODUCT, 3, 1 }, { T1_VERSION, 3, 3 }, { T1_SERIAL, 3, 4 }, { T1_SKU, 3, 2 }, { T1_FAMILY, 0, NO_FIELD } } },
  { 2, TYPE2_HANDLE, 0x0F, { { T2_MANUFACTURER, 2, 0 }, { T2_PRODUCT, 2, 1 }, { T2_VERSION, 2, 3 }, { T2_SERIAL, 2, 2 }, { T2_ASSET, 0, NO_FIELD }, { 0x0A, 0, NO_FIELD } } },
  { 3, TYPE3_HANDLE, 0x16, { { T3_MANUFACTURER, 0, NO_FIELD }, { T3_VERSION, 0, NO_FIELD }, { T3_SERIAL, 1, 1 }, { T3_ASSET, 3, 5 } } },
};

///
/// A FRU image whose only text is Value in the given area's field.
///
Bytes
ImageWithOneField (int Area, UINT8 Field, const std::string &Value)
{
  std::vector<Bytes>  Areas (4);
  std::vector<Bytes>  Fields (Area == 3 ? 7 : (Area == 2 ? 5 : 2), Text (""));
  Fields[Field] = Text (Value);
  //
  // Before the fields: the chassis type (Unknown, so the platform's stays),
  // the board's language and manufacturing date, the product's language.
  //
  Bytes  Prefix = (Area == 1) ? Bytes { 0x02 } : (Area == 2) ? Bytes { 25, 0, 0, 0 } : Bytes { 25 };
  Areas[Area] = FruTest::InfoArea (Prefix, Fields);
  return FruTest::Image ({ {}, Areas[1], Areas[2], Areas[3] });
}

///
/// A structure of Type whose fields A and B point to string 1 ("Shared"),
/// every other string field to a string of its own ("Own N").
///
Bytes
SharingStructure (const TypeFields &Type, UINT8 A, UINT8 B)
{
  Bytes                     Formatted (Type.FormattedSize, 0);
  std::vector<std::string>  Strings  = { "Shared" };
  for (const StringField &F : Type.Fields) {
    if ((F.Offset == A) || (F.Offset == B)) {
      Formatted[F.Offset] = 1;
    } else {
      Strings.push_back ("Own " + std::to_string (F.Offset));
      Formatted[F.Offset] = static_cast<UINT8>(Strings.size ());
    }
  }

  if (Type.Type == 3) {
    Formatted[T3_TYPE] = 0x81;
  }

  return EmulatedSmbios::Structure (Type.Type, Type.Handle, Formatted, Strings);
}

}  // namespace

TEST_F (FruSmbiosBoot, EachChangedFieldSharingItsStringWithAnyOtherFieldLeavesThatFieldsText) {
  auto    Update = UpdateFunction ();
  size_t  Cases  = 0;

  Board.Runner.RunBoot ();
  auto  *Fru = InstalledFru ();
  ASSERT_NE (Fru, nullptr);
  for (const TypeFields &Type : mTypes) {
    for (const StringField &Changed : Type.Fields) {
      if (Changed.Field == NO_FIELD) {
        continue;
      }

      for (const StringField &Other : Type.Fields) {
        if (Other.Offset == Changed.Offset) {
          continue;
        }

        EmulatedSmbios      Fresh { 2, 8 };
        FRU_SMBIOS_OUTCOME  Result;
        Fresh.AddPlatform (SharingStructure (Type, Changed.Offset, Other.Offset));
        Board.Bmc.SetFruDevice (0, ImageWithOneField (Changed.Area, Changed.Field, "From FRU"));
        Update (Fru, Fresh.Protocol (), nullptr, &Result);

        std::string  Where = "type " + std::to_string (Type.Type) + ": field at " + std::to_string (Changed.Offset) +
                             " sharing its string with the field at " + std::to_string (Other.Offset);
        EXPECT_EQ (Result.ReadStatus, EFI_SUCCESS) << Where;
        EXPECT_EQ (Fresh.String (Type.Type, Changed.Offset), "From FRU") << Where;
        EXPECT_EQ (Fresh.String (Type.Type, Other.Offset), "Shared") << Where;
        for (const StringField &Kept : Type.Fields) {
          if ((Kept.Offset != Changed.Offset) && (Kept.Offset != Other.Offset)) {
            EXPECT_EQ (Fresh.String (Type.Type, Kept.Offset), "Own " + std::to_string (Kept.Offset)) << Where;
          }
        }

        EXPECT_FALSE (Fresh.WrittenInPlace ()) << Where;
        Cases++;
      }
    }
  }

  EXPECT_EQ (Cases, 5u * 5 + 4u * 5 + 2u * 3);

  //
  // Two fields sharing a string that both get the same text keep sharing it,
  // changed in place.
  //
  EmulatedSmbios      Both { 2, 8 };
  FRU_SMBIOS_OUTCOME  Result;
  Both.AddPlatform (SharingStructure (mTypes[0], T1_MANUFACTURER, T1_PRODUCT));
  Board.Bmc.SetFruDevice (0, FruTest::Image ({ {}, {}, {}, FruTest::InfoArea ({ 25 }, { Text ("Same"), Text ("Same"), Text (""), Text (""), Text (""), Text (""), Text ("") }) }));
  Update (Fru, Both.Protocol (), nullptr, &Result);
  EXPECT_EQ (Both.String (1, T1_MANUFACTURER), "Same");
  EXPECT_EQ ((*Both.First (1))[T1_PRODUCT], 1) << "still the one string";
  EXPECT_EQ (Both.Removes (), 0u) << "changed in place";
}

TEST_F (FruSmbiosBoot, ATypeThreeSkuStringAfterItsContainedElementsIsSharedLikeAnyOtherField) {
  //
  // SMBIOS 2.7's type 3: two contained elements of three bytes each, then
  // the SKU number string, which shares the serial number's string.
  //
  constexpr UINT8  SKU = 0x15 + 2 * 3;
  Bytes            Formatted (SKU + 1, 0);
  Formatted[T3_MANUFACTURER] = 1;
  Formatted[T3_TYPE]         = 0x81;
  Formatted[T3_SERIAL]       = 2;
  Formatted[0x13]            = 2;
  Formatted[0x14]            = 3;
  Formatted[SKU]             = 2;
  Smbios.AddPlatform (EmulatedSmbios::Structure (3, TYPE3_HANDLE, Formatted, { "OEM", "Shared" }));
  Boot (FruTest::Image ({ {}, ChassisArea (0x02), {}, {} }));

  EXPECT_EQ (Smbios.String (3, T3_SERIAL), "CH-SN-0001");
  EXPECT_EQ (Smbios.String (3, SKU), "Shared") << "the SKU keeps its text";
  EXPECT_EQ (Smbios.String (3, T3_MANUFACTURER), "OEM");
}
