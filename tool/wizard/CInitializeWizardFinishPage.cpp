#include "tool/wizard/CInitializeWizardFinishPage.h"

#include "classlib/DataExchange.h"
#include "tool/wizard/CInitializeWizardWholePage.h"
#include "tool/WhitelistEntryText.h"
#include "tool/resource.h"

namespace {

void Append(CString& text, UINT id)
{
    CString part;
    part.LoadString(id);
    text += part;
}

}  // namespace

void BuildSettingSummary(CString& text, CInitializeWizardWholePage& wholePage)
{
    Append(text, IDS_SUMMARY_WHITELIST);
    Append(text, IDS_SUMMARY_LINE_BREAK);
    const int rows = wholePage.m_fields.list.GetItemCount();
    if (rows > 0) {
        for (int row = 0; row < rows; ++row) {
            const Quelmar::WhitelistEntry* entry = wholePage.m_fields.list.GetRow(row);
            CString line;
            if (entry == nullptr || !FormatWhitelistEntry(*entry, line)) {
                continue;
            }
            Append(text, IDS_SUMMARY_BULLET);
            text += line;
            Append(text, IDS_SUMMARY_LINE_BREAK);
        }
    } else {
        Append(text, IDS_SUMMARY_BULLET);
        Append(text, IDS_SUMMARY_NONE);
        Append(text, IDS_SUMMARY_LINE_BREAK);
    }

    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_OUTSIDE);
    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_BULLET);
    Append(text, wholePage.m_fields.outsideIndex == 1 ? IDS_SUMMARY_ALL_READ_ONLY : IDS_SUMMARY_BLOCK_ALL);
    Append(text, IDS_SUMMARY_LINE_BREAK);

    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_OPTIONS);
    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_BULLET);
    Append(text, wholePage.m_fields.blockPortableDevices == 1 ? IDS_SUMMARY_BLOCK_PORTABLE : IDS_SUMMARY_ALLOW_PORTABLE);
    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_BULLET);
    Append(text, wholePage.m_fields.blockCdWriting == 1 ? IDS_SUMMARY_BLOCK_CD : IDS_SUMMARY_ALLOW_CD);
    Append(text, IDS_SUMMARY_LINE_BREAK);
    Append(text, IDS_SUMMARY_BULLET);
    Append(text, wholePage.m_fields.blockInternalSd == 1 ? IDS_SUMMARY_BLOCK_INTERNAL_SD : IDS_SUMMARY_ALLOW_INTERNAL_SD);
}

CInitializeWizardFinishPage::CInitializeWizardFinishPage(CInitializeWizardWholePage* wholePage)
    : CPropertyPage(IDD_WIZARD_FINISH), wholePage_(wholePage)
{
}

void CInitializeWizardFinishPage::DoDataExchange(CDataExchange* dx)
{
    DDX_Text(dx, IDC_SETTING_SUMMARY, m_summary);
}

BOOL CInitializeWizardFinishPage::OnSetActive()
{
    ::PostMessageW(GetSheetWindow(), PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
    m_summary.Empty();
    BuildSettingSummary(m_summary, *wholePage_);
    CString lineBreak;
    lineBreak.LoadString(IDS_SUMMARY_LINE_BREAK);
    m_summary += lineBreak;
    UpdateData(FALSE);
    return CPropertyPage::OnSetActive();
}
