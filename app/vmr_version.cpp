// The program's version information, carried as data in a section of the
// executable (see VersionResource.h).

#include "VersionBlock.h"
#include "VersionResource.h"

namespace {

constexpr TVersionString kStrings[] = {
    {u"CompanyName", u"Ostrand"},       {u"FileDescription", u"Vellomar"},
    {u"FileVersion", u"2.5.0.0"},       {u"InternalName", u"vellomar"},
    {u"OriginalFilename", u"vellomar"}, {u"ProductName", u"Vellomar"},
    {u"ProductVersion", u"2.5"},
};

constexpr TVersionInfo kInfo{
    {2, 5, 0, 0}, {2, 5, 0, 0}, 0x0409, 0x04E4, u"040904E4", kStrings,
};

constexpr TVersionBlockBuffer kBuilt = BuildVersionBlock(kInfo);

__attribute__((section(VMR_VERSION_SECTION), used)) constexpr auto kVersionBlock =
    VersionBlockBytes<kBuilt.Size>(kBuilt);

} // namespace
