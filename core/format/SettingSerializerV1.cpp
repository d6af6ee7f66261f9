#include "core/format/SettingSerializerV1.h"

#include <utility>

namespace Quelmar {

namespace {

// The smallest entry on disk: two ids, three empty strings, five flags and the attribute.
const DWORD kSmallestEntryBytes = 2 + 2 + 3 * 4 + 6 * 4;

void WriteEntry(DataSerializer& out, const WhitelistEntry& e)
{
    out.WriteU16(e.vendorId);
    out.WriteU16(e.productId);
    out.WriteString(e.serialNumber);
    out.WriteString(e.manufacturer);
    out.WriteString(e.product);
    out.WriteU32(static_cast<DWORD>(e.useVendorId));
    out.WriteU32(static_cast<DWORD>(e.useProductId));
    out.WriteU32(static_cast<DWORD>(e.useSerialNumber));
    out.WriteU32(static_cast<DWORD>(e.useManufacturer));
    out.WriteU32(static_cast<DWORD>(e.useProduct));
    out.WriteU32(static_cast<DWORD>(e.attribute));
}

}  // namespace

void SettingSerializerV1::Write(const SettingV1& setting, std::vector<BYTE>& out) const
{
    DataSerializer s;
    s.WriteU32(formatTag);
    WriteBody1(s, setting);
    out = s.Bytes();
}

BOOL SettingSerializerV1::Read(const std::vector<BYTE>& bytes, SettingV1& setting)
{
    DataParser in(bytes);
    if (!ReadTag(in, SettingFormatTagV1) || !ReadBody1(in, setting)) {
        return FALSE;
    }
    return in.Left() == 0;
}

bool SettingSerializerV1::ReadTag(DataParser& in, DWORD expected)
{
    if (in.ReadU32(formatTag) != 0) {
        return false;
    }
    return formatTag == expected;
}

void SettingSerializerV1::WriteBody1(DataSerializer& out, const SettingV1& setting)
{
    out.WriteU32(static_cast<DWORD>(setting.usbControlEnabled));
    out.WriteU32(static_cast<DWORD>(setting.whitelist.size()));
    for (const WhitelistEntry& entry : setting.whitelist) {
        WriteEntry(out, entry);
    }
    out.WriteU32(static_cast<DWORD>(setting.outsidePolicy));
    out.WriteU32(static_cast<DWORD>(setting.blockPortableDevices));
    out.WriteU32(static_cast<DWORD>(setting.blockCdWriting));
}

bool SettingSerializerV1::ReadText(DataParser& in, DataParser::WideText& scratch, CString& text)
{
    if (in.ReadString(scratch) != 0) {
        return false;
    }
    text = CString(scratch.data(), scratch.size());
    return true;
}

bool SettingSerializerV1::ReadBody1(DataParser& in, SettingV1& setting)
{
    int count = 0;
    if (in.ReadU32(setting.usbControlEnabled) != 0 || in.ReadU32(count) != 0) {
        return false;
    }
    // The count comes from the file: it is checked against the bytes that are really there
    // before a single entry is made, and the whitelist grows only by entries actually read.
    if (count > 0 && static_cast<DWORD>(count) > in.Left() / kSmallestEntryBytes) {
        return false;
    }
    DataParser::WideText scratch;
    for (int i = 0; i < count; ++i) {
        WhitelistEntry e;
        if (in.ReadU16(e.vendorId) != 0 ||
            in.ReadU16(e.productId) != 0 ||
            !ReadText(in, scratch, e.serialNumber) ||
            !ReadText(in, scratch, e.manufacturer) ||
            !ReadText(in, scratch, e.product) ||
            in.ReadU32(e.useVendorId) != 0 ||
            in.ReadU32(e.useProductId) != 0 ||
            in.ReadU32(e.useSerialNumber) != 0 ||
            in.ReadU32(e.useManufacturer) != 0 ||
            in.ReadU32(e.useProduct) != 0 ||
            in.ReadU32(e.attribute) != 0) {
            return false;
        }
        setting.whitelist.push_back(std::move(e));
    }
    return in.ReadU32(setting.outsidePolicy) == 0 &&
           in.ReadU32(setting.blockPortableDevices) == 0 &&
           in.ReadU32(setting.blockCdWriting) == 0;
}

}  // namespace Quelmar
