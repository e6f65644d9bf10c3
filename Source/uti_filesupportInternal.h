#pragma once
// Shared by the two file-support units: the exception's identity and the splits and joins
// that tell whether a part had to be cut at its limit.
#include <I18NString.h>
#include <cstdint>

// The file-support exception: error code and message number.
constexpr long kFileSupportErrorCode = 800;
constexpr std::uint32_t kFileSupportMessage = 0x7210C8B0;

// AUT_I_FileSupport::SplitPath, telling whether every part asked for (non-null) came out
// whole, within its limit.
bool SplitPathWhole(const I18NString& path,
                    I18NString* drive,
                    I18NString* directory,
                    I18NString* fileName,
                    I18NString* extension);
// AUT_I_FileSupport::MakePath, telling whether the joined path came out whole.
bool MakePathWhole(I18NString& path,
                   const I18NString* drive,
                   const I18NString* directory,
                   const I18NString* fileName,
                   const I18NString* extension);
