#pragma once
//
//  What start-up does with the result of connecting the tool core, and the restart question
//  that start-up asks when it ends without saving. Windows builds only.
//
#include <windows.h>

// 1 when start-up may go on (connected); otherwise acts on the result and returns 0: another
// instance is brought to the front, a blocked legacy filter offers the helper program, and
// anything else is reported as a damaged installation.
int ReportStartupResult(int result);

// Posts WM_APP_BRING_TO_FRONT to the windows titled with the product name of every other
// process that runs this program file.
void ActivateRunningInstance();

// Tells that Windows blocks legacy file-system filters and, on OK, opens QEVRINfbf.exe from
// the tool's folder.
void OfferFbfProgram();

// Offers a restart when the core's setting wants CD/DVD writing blocked and Explorer's policy
// says otherwise (or the other way round).
void PromptRestartForCdPolicy();
