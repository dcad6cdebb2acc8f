// Assertions.cpp: failed assertions go to the event log and the code runs on.
#include "support/Assertions.h"

#include <cstdio>

#include "support/EventLogWriter.h"

void AssertFailed(const char* inSourceFile, long inLine, const char* inExpressionText)
{
    // snprintf bounds the text to the buffer; a long expression is simply cut.
    char theText[256];
    std::snprintf(theText, sizeof theText, "Assertion Failed in %s line %ld (%s)",
                  inSourceFile != nullptr ? inSourceFile : "", inLine,
                  inExpressionText != nullptr ? inExpressionText : "");
    LogEvent(theText, EVENTLOG_ERROR_TYPE);
}
