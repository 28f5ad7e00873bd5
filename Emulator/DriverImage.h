/** @file
  Loads the host build of the driver as a fresh image, the way the DXE
  dispatcher loads a driver: every load starts with the module globals zero.
**/

#ifndef DRIVER_IMAGE_H_
#define DRIVER_IMAGE_H_

#include <Uefi.h>

#include <string>

namespace Emu {

class DriverImage {
public:
  DriverImage () = default;
  ~DriverImage ();
  DriverImage (const DriverImage &) = delete;
  DriverImage &operator= (const DriverImage &) = delete;

  ///
  /// Load the driver module (the path compiled in, or TAVRI_DXE_MODULE from
  /// the environment). A second Load unloads the first image.
  ///
  void                   Load ();
  void                   Unload ();
  EFI_IMAGE_ENTRY_POINT  EntryPoint () const;

  ///
  /// Look up one of the driver's own exported functions.
  ///
  template <typename FN>
  FN
  Symbol (const char *Name) const
  {
    return reinterpret_cast<FN>(RawSymbol (Name));
  }

  static std::string     ModulePath ();

private:
  VOID   *RawSymbol (const char *Name) const;
  VOID   *mHandle = nullptr;
};

}

#endif
