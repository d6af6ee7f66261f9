// Kernel stand-in: ntddk.h adds nothing to wdm.h that the driver uses.
#pragma once
#include <wdm.h>
