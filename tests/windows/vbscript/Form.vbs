' Form.vbs: the component as a VBScript page uses it, late-bound, under Wine's cscript.
' Arguments: the shared uploads folder (tests/common/uploads) and a scratch site folder
' that the test Server object's MapPath maps virtual paths into. The test comsvcs.dll
' gives the page files.body as its request body.
Option Explicit

Dim gUploads, gSite, gPassed, gFailed, gTarget, gFso
gUploads = WScript.Arguments(0)
gSite = WScript.Arguments(1)
gPassed = 0
gFailed = 0
Set gFso = CreateObject("Scripting.FileSystemObject")

Sub Check(inWhat, inGot, inWant)
    If CStr(inGot) = CStr(inWant) Then
        gPassed = gPassed + 1
    Else
        gFailed = gFailed + 1
        WScript.Echo "not ok - " & inWhat & ": got [" & inGot & "], want [" & inWant & "]"
    End If
End Sub

' Text as values.tsv writes it: printable ASCII as is, any other UTF-16 unit as \uXXXX.
Function Escaped(inText)
    Dim i, c, theCode, theOut
    theOut = ""
    For i = 1 To Len(inText)
        c = Mid(inText, i, 1)
        theCode = AscW(c) And &HFFFF&
        If theCode >= 32 And theCode < 127 And Not (c = "\" And Mid(inText, i + 1, 1) = "u") Then
            theOut = theOut & c
        Else
            theOut = theOut & "\u" & Right("000" & Hex(theCode), 4)
        End If
    Next
    Escaped = theOut
End Function

Function Canonical(inValue)
    Select Case VarType(inValue)
        Case vbBoolean
            Canonical = "False"
            If inValue Then Canonical = "True"
        Case vbString
            Canonical = Escaped(inValue)
        Case Else
            Canonical = CStr(inValue)
    End Select
End Function

Function NewForm(inBody)
    Dim theForm
    Set theForm = CreateObject("Ferrolift4.XForm")
    theForm.CodePage = 65001
    theForm.AbsolutePath = True
    theForm.Read gUploads & "\" & inBody
    Set NewForm = theForm
End Function

' Every row of the shared table, one form per body.
Sub CheckTable()
    Dim theFile, theLine, c, theForms, theForm
    Set theForms = CreateObject("Scripting.Dictionary")
    Set theFile = gFso.OpenTextFile(gUploads & "\values.tsv", 1)
    Do Until theFile.AtEndOfStream
        theLine = theFile.ReadLine
        If Len(theLine) > 0 And Left(theLine, 1) <> "#" Then
            c = Split(theLine, vbTab)
            If Not theForms.Exists(c(0)) Then theForms.Add c(0), NewForm(c(0))
            Set theForm = theForms(c(0))
            If c(1) = "" Then
                Set gTarget = theForm
            ElseIf c(2) = "" Then
                Set gTarget = theForm.Item(c(1))
            Else
                Set gTarget = theForm.Item(c(1)).Item(CLng(c(2)))
            End If
            Check Join(Array(c(0), c(1), c(2), c(3)), " "), Canonical(Eval("gTarget." & c(3))), c(4)
        End If
    Loop
    theFile.Close
End Sub

Sub CheckEnumerationAndItems()
    Dim theForm, theNames, theName, theFiles, theField
    Set theForm = NewForm("files.body")
    theNames = ""
    For Each theName In theForm
        theNames = theNames & theName & ","
    Next
    Check "For Each over the form", theNames, "title,comment,photos,document,nothing,"
    theFiles = ""
    For Each theField In theForm("photos")
        theFiles = theFiles & theField.FileName & ","
    Next
    Check "For Each over a collection", theFiles, "one.txt,two.bin,"
    Check "Item by number", theForm.Item(3).Count, 2
    Check "Item by number of the collection", theForm.Item(3).Item(2).FileName, "two.bin"
    Check "Item by name is case-insensitive", theForm("PHOTOS").Count, 2
    Check "default members", theForm("title")(1), "Holiday photos"
    Check "collection index as text", theForm("photos")("2").FileName, "two.bin"
    Check "Data is a byte array", VarType(theForm("photos")(2).Data), vbArray + vbByte
    Check "Data length", LenB(theForm("photos")(2).Data), 300
    Check "Data first byte", AscB(MidB(theForm("photos")(2).Data, 1, 1)), 0
    Check "Data last byte", AscB(MidB(theForm("photos")(2).Data, 300, 1)), 43
    Check "RawData length", LenB(theForm("photos")(1).RawData), 29
    Check "Resource of a plain file is an empty byte array", LenB(theForm("photos")(1).Resource), 0
    Check "ImageType is a Long", VarType(theForm("photos")(1).ImageType), vbLong
End Sub

Sub CheckSaving()
    Dim theForm, theField, theReader
    Set theForm = NewForm("files.body")
    Set theField = theForm("photos")(1)
    theField.Save gSite & "\one.txt"
    Check "Save writes the file", gFso.GetFile(gSite & "\one.txt").Size, 29
    On Error Resume Next
    theField.Save gSite & "\one.txt"
    Check "Save refuses to overwrite: number", Hex(Err.Number), "80040050"
    Check "Save refuses to overwrite: has a description", Len(Err.Description) > 0, True
    Err.Clear
    theForm.Overwrite = True
    theField.Save gSite & "\one.txt"
    Check "Save with Overwrite", Err.Number, 0
    Err.Clear
    theForm.Save gSite & "\raw.body"
    Check "the form saves the raw body", Err.Number, 0
    On Error GoTo 0
    Set theReader = CreateObject("Ferrolift4.XForm.4")
    theReader.AbsolutePath = True
    theReader.Read gSite & "\raw.body"
    Check "the saved body reads back", theReader.Count, 5
    Check "the saved body's fields", theReader("document")(1).Length, 13
End Sub

' The form reads the page's request body (files.body) itself and publishes progress.
Sub CheckLiveIntake()
    Dim theForm, theProgress
    Set theForm = CreateObject("Ferrolift4.XForm")
    theForm.ID = 4242
    Check "live intake: Count", theForm.Count, 5
    Check "live intake: a field", theForm("title")(1).Content, "Holiday photos"
    theForm("photos")(2).Save "/two.bin"
    Check "virtual Save goes through MapPath", gFso.GetFile(gSite & "\two.bin").Size, 300
    Set theProgress = CreateObject("Ferrolift4.XProgress")
    theProgress.ID = 4242
    Check "XProgress: ID", theProgress.ID, 4242
    Check "XProgress: Started", theProgress.Started, True
    Check "XProgress: BytesTotal", theProgress.BytesTotal, 1206
    Check "XProgress: BytesDone", theProgress.BytesDone, 1206
    Check "XProgress: PercentDone", theProgress.PercentDone, 100
    Check "XProgress: SecondsLeft", theProgress.SecondsLeft, 0
    theProgress.Note = "almost there"
    Check "XProgress: Note", theProgress.Note, "almost there"
End Sub

Sub CheckErrors()
    Dim theForm, theProgress, theValue
    On Error Resume Next
    Set theForm = CreateObject("Ferrolift4.XForm")
    theForm.AbsolutePath = True
    theForm.Read gSite & "\missing.body"
    Check "Read of a missing file: number", Hex(Err.Number), "80004005"
    Check "Read of a missing file: description", InStr(Err.Description, "Unable to read file.") = 1, True
    WScript.Echo "# Read of a missing file: " & Replace(Err.Description, vbLf, " | ")
    Err.Clear
    theValue = theForm.Count
    Check "the failure repeats", Hex(Err.Number), "80004005"
    Err.Clear

    Set theForm = CreateObject("Ferrolift4.XForm")
    theForm.MaxUploadSize = 100
    theValue = theForm.Count
    Check "over the size limit: number", Hex(Err.Number), "80004005"
    Check "over the size limit: description", _
          InStr(Err.Description, "Upload size is greater than the maximum allowed") > 0, True
    Err.Clear

    Set theForm = NewForm("files.body")
    Set theValue = theForm("photos")("first")
    Check "a collection index that is no number: Type mismatch", Err.Number, 13
    WScript.Echo "# collection index that is no number: " & Err.Number & " " & Err.Description
    Err.Clear

    Set theProgress = CreateObject("Ferrolift4.XProgress")
    theProgress.ID = "many"
    Check "XProgress ID that is no number: Type mismatch", Err.Number, 13
    Err.Clear

    theForm.NoSuchMember = 1
    Check "unknown member", Err.Number, 438
    Err.Clear

    theForm.SetUser "nobody", "secret"
    Check "SetUser not enabled: number", Hex(Err.Number), "80004005"
    Check "SetUser not enabled: description", Err.Description, "Ferrolift impersonation is not enabled via registry"
    Err.Clear
    On Error GoTo 0
End Sub

CheckTable
CheckEnumerationAndItems
CheckSaving
CheckLiveIntake
CheckErrors
WScript.Echo gPassed & " passed, " & gFailed & " failed"
WScript.Quit gFailed
