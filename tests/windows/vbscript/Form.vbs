' Form.vbs: the component as a VBScript page uses it, late-bound, under Wine's cscript.
' Arguments: the shared uploads folder (tests/common/uploads), a scratch site folder that
' the test Server object's MapPath maps virtual paths into, and the file to write the
' shared table's values to. The test comsvcs.dll gives the page files.body as its request
' body. Wine's VBScript has no AscW, ChrW, Join, Eval or LenB, and cannot index byte
' arrays, so the table's values go to a UTF-16 file that the driver compares, and bytes
' are checked through what Save writes.
Option Explicit

Dim gUploads, gSite, gValues, gPassed, gFailed, gFso, gControls, i
gUploads = WScript.Arguments(0)
gSite = WScript.Arguments(1)
gValues = WScript.Arguments(2)
gPassed = 0
gFailed = 0
Set gFso = CreateObject("Scripting.FileSystemObject")
' Chr(0) to Chr(31) and Chr(127): a control character's position here gives its code.
gControls = ""
For i = 0 To 31
    gControls = gControls & Chr(i)
Next
gControls = gControls & Chr(127)

Sub Check(inWhat, inGot, inWant)
    If CStr(inGot) = CStr(inWant) Then
        gPassed = gPassed + 1
    Else
        gFailed = gFailed + 1
        WScript.Echo "not ok - " & inWhat & ": got [" & inGot & "], want [" & inWant & "]"
    End If
End Sub

' Text as values.tsv writes it, for the ASCII part: control characters (and a backslash
' that would read as an escape) as \uXXXX. Other characters stay as they are; the driver
' escapes them.
Function Escaped(inText)
    Dim i, c, thePosition, theOut
    theOut = ""
    For i = 1 To Len(inText)
        c = Mid(inText, i, 1)
        thePosition = InStr(1, gControls, c, vbBinaryCompare)
        If thePosition = 32 Then
            theOut = theOut & "\u007F"
        ElseIf thePosition > 0 Then
            theOut = theOut & "\u00" & Right("0" & Hex(thePosition - 1), 2)
        ElseIf c = "\" And Mid(inText, i + 1, 1) = "u" Then
            theOut = theOut & "\u005C"
        Else
            theOut = theOut & c
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

' Each property by an explicit late-bound call, as a page writes it.
Function PropertyOf(inObject, inName)
    Select Case inName
        Case "Count": PropertyOf = inObject.Count
        Case "Multipart": PropertyOf = inObject.Multipart
        Case "Name": PropertyOf = inObject.Name
        Case "Content": PropertyOf = inObject.Content
        Case "Length": PropertyOf = inObject.Length
        Case "FileExists": PropertyOf = inObject.FileExists
        Case "SafeFileName": PropertyOf = inObject.SafeFileName
        Case "FileType": PropertyOf = inObject.FileType
        Case "FileName": PropertyOf = inObject.FileName
        Case "MIMEType": PropertyOf = inObject.MIMEType
        Case "MacBinary": PropertyOf = inObject.MacBinary
        Case "RawFilePath": PropertyOf = inObject.RawFilePath
        Case "RawFileName": PropertyOf = inObject.RawFileName
        Case "RawFileType": PropertyOf = inObject.RawFileType
        Case "RawLength": PropertyOf = inObject.RawLength
        Case "ImageType": PropertyOf = inObject.ImageType
        Case "ImageWidth": PropertyOf = inObject.ImageWidth
        Case "ImageHeight": PropertyOf = inObject.ImageHeight
        Case Else: PropertyOf = "<unknown property " & inName & ">"
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

' Every row of the shared table, one form per body, written out with its value.
Sub WriteTable()
    Dim theFile, theOut, theLine, c, theForms, theForm, theTarget
    Set theForms = CreateObject("Scripting.Dictionary")
    Set theFile = gFso.OpenTextFile(gUploads & "\values.tsv", 1)
    Set theOut = gFso.CreateTextFile(gValues, True, True)
    Do Until theFile.AtEndOfStream
        theLine = theFile.ReadLine
        If Len(theLine) > 0 And Left(theLine, 1) <> "#" Then
            c = Split(theLine, vbTab)
            If Not theForms.Exists(c(0)) Then theForms.Add c(0), NewForm(c(0))
            Set theForm = theForms(c(0))
            If c(1) = "" Then
                Set theTarget = theForm
            ElseIf c(2) = "" Then
                Set theTarget = theForm.Item(c(1))
            Else
                Set theTarget = theForm.Item(c(1)).Item(CLng(c(2)))
            End If
            theOut.WriteLine c(0) & vbTab & c(1) & vbTab & c(2) & vbTab & c(3) & vbTab & _
                             Canonical(PropertyOf(theTarget, c(3)))
        End If
    Loop
    theOut.Close
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
    Check "RawData is a byte array", VarType(theForm("photos")(2).RawData), vbArray + vbByte
    Check "Resource of a plain file is a byte array", VarType(theForm("photos")(1).Resource), vbArray + vbByte
    Check "ImageType is a Long", VarType(theForm("photos")(1).ImageType), vbLong
End Sub

Sub CheckSaving()
    Dim theForm, theField, theReader
    Set theForm = NewForm("files.body")
    Set theField = theForm("photos")(1)
    theField.Save gSite & "\one.txt"
    Check "Save writes the file", gFso.GetFile(gSite & "\one.txt").Size, 29
    ' The driver compares these bytes with the part's.
    theForm("photos")(2).Save gSite & "\two-physical.bin"
    Check "Save writes every byte", gFso.GetFile(gSite & "\two-physical.bin").Size, 300
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
    Check "XProgress: PercentDone while the form lives", theProgress.PercentDone, 95
    Check "XProgress: SecondsLeft", theProgress.SecondsLeft, 0
    Set theForm = Nothing
    Check "XProgress: PercentDone once the form is gone", theProgress.PercentDone, 100
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
    Check "Read of a missing file: description", InStr(Err.Description, "Unable to read file.") > 0, True
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
    Set theValue = theForm("photos").Item("first")
    Check "a collection index that is no number: Type mismatch", Err.Number, 13
    Err.Clear
    Set theValue = theForm.Item("nosuch")
    Check "a form index that is neither name nor number: Type mismatch", Err.Number, 13
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

WriteTable
CheckEnumerationAndItems
CheckSaving
CheckLiveIntake
CheckErrors
WScript.Echo gPassed & " passed, " & gFailed & " failed"
WScript.Quit gFailed
