#pragma once
//
//  The main sheet's last page: the product's picture. It changes nothing and takes no part in
//  applying. Windows builds only.
//
#include "classlib/CPropertyPage.h"

class CMainAboutPage : public CPropertyPage {
public:
    CMainAboutPage();
};
