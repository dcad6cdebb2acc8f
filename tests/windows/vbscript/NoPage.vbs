' NoPage.vbs: a form used outside any page (cscript without the test page's body): there
' is no transaction context to take a request from, and the form says so.
Option Explicit
Dim theForm, theValue, theFailed
theFailed = 0
Set theForm = CreateObject("Ferrolift4.XForm")
On Error Resume Next
theValue = theForm.Count
If Hex(Err.Number) <> "80004005" Then
    WScript.Echo "not ok - number: got " & Hex(Err.Number) & ", want 80004005"
    theFailed = theFailed + 1
End If
' The description names the missing context and its code.
If InStr(Err.Description, "Unable to get Object Context") = 0 Or InStr(Err.Description, "0x8004e004") = 0 Then
    WScript.Echo "not ok - description: got [" & Err.Description & "]"
    theFailed = theFailed + 1
End If
theValue = 2 - theFailed
WScript.Echo theValue & " passed, " & theFailed & " failed"
WScript.Quit theFailed
