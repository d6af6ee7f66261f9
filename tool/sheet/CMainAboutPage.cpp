#include "tool/sheet/CMainAboutPage.h"

#include "tool/resource.h"

CMainAboutPage::CMainAboutPage() : CPropertyPage(IDD_MAIN_ABOUT)
{
}
