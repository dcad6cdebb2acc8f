// windows.h: the Win32 subset that Ferrolift's component code uses, provided on POSIX
// by libferrolift-platform. Component code includes this (and oleauto.h, comsvcs.h,
// asptlb.h, eh.h) exactly as it would on Windows.
#pragma once

#include "../types/WinTypes.h"
#include "../errors/Errors.h"
#include "../system/System.h"
#include "../text/CodePages.h"
#include "../registry/Registry.h"
#include "../eventlog/EventLog.h"
#include "../files/Files.h"
#include "../security/Security.h"
#include "../com/Com.h"
#include "../automation/OleAuto.h"
