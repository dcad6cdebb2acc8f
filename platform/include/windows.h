// windows.h: the Win32 subset that Ferrolift's component code uses, provided on POSIX
// by libferrolift-platform. Component code includes this (and oleauto.h, comsvcs.h,
// asptlb.h, eh.h) exactly as it would on Windows.
#pragma once

#include "platform/types/WinTypes.h"
#include "platform/errors/Errors.h"
#include "platform/system/System.h"
#include "platform/text/CodePages.h"
#include "platform/registry/Registry.h"
#include "platform/eventlog/EventLog.h"
#include "platform/files/Files.h"
#include "platform/security/Security.h"
#include "platform/com/Com.h"
#include "platform/automation/OleAuto.h"
