// Assertions.h: assertions that never stop the code. A failed one writes "Assertion
// Failed in <file> line <n> (<expression>)" to the event log and execution goes on.
//
//   FER_ASSERT(len < inArraySize);       // logged with the text "len < inArraySize"
//   if (len >= inArraySize) len = inArraySize - 1;
#pragma once

/// Logs the failed assertion as an error entry; always returns.
void AssertFailed(const char* inSourceFile, long inLine, const char* inExpressionText);

#if defined(__FILE_NAME__)
#define FER_ASSERT_FILE __FILE_NAME__
#else
#define FER_ASSERT_FILE __FILE__
#endif

/// Evaluates inExpr once; when false, calls AssertFailed with its text.
#define FER_ASSERT(inExpr) \
    ((inExpr) ? static_cast<void>(0) : AssertFailed(FER_ASSERT_FILE, __LINE__, #inExpr))
