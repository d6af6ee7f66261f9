#include "tool/WhitelistEntryText.h"

#include "tool/resource.h"

namespace {

CString LabelledPart(UINT labelId, const CString& value)
{
    CString label;
    label.LoadString(labelId);
    return L" " + label + L":" + value;
}

}  // namespace

BOOL FormatWhitelistEntry(const Quelmar::WhitelistEntry& entry, CString& text)
{
    CString readOnly;
    if (entry.attribute == Quelmar::WhitelistReadOnly) {
        CString label;
        label.LoadString(IDS_READ_ONLY);
        readOnly = L" " + label;
    }
    CString vendor;
    if (entry.useVendorId) {
        vendor.Format(L" VID:0x%04X", static_cast<unsigned>(entry.vendorId));
    }
    CString product;
    if (entry.useProductId) {
        product.Format(L" PID:0x%04X", static_cast<unsigned>(entry.productId));
    }
    CString serial = entry.useSerialNumber ? LabelledPart(IDS_SERIAL_NUMBER, entry.serialNumber) : CString();
    CString maker = entry.useManufacturer ? LabelledPart(IDS_MANUFACTURER, entry.manufacturer) : CString();
    CString name = entry.useProduct ? LabelledPart(IDS_PRODUCT, entry.product) : CString();
    text = L"USB" + readOnly + vendor + product + serial + maker + name;
    return !text.IsEmpty();
}
