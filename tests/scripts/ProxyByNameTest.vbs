' The proxy as a VBScript page drives it: created by ProgID, called by name, its node trees walked
' with For Each, its failures read from Err.Number.
Option Explicit

Const TSR_E_SERVER = &HC0049C05

Sub Expect(what, actual, expected)
    If actual <> expected Then
        WScript.Echo what & ": got " & actual & ", expected " & expected
        WScript.Quit 1
    End If
End Sub

Function StartedProxy(startAddress)
    Set StartedProxy = CreateObject("velTesseraComm2.velTesseraProxy")
    StartedProxy.Init Nothing, Nothing, CreateObject("velTesseraTests.RecordingPki"), _
        CreateObject("Scripting.FileSystemObject").GetSpecialFolder(2).Path
    StartedProxy.InitComm startAddress
End Function

Dim application, params, param, seen
Set application = StartedProxy("https://ca.test/start").RequestStep1()
seen = application.Name & ":"
Set params = application.SubNodes
For Each param In params
    seen = seen & " " & param.Name & "=" & param.StringProp
Next
Expect "the application", seen, "application: -ident-org_name=Org -ident-ku_vname=Eva -challenge=c-1"
Expect "the first parameter", params(0).Name, "-ident-org_name"
Expect "the parameter count", params.Count, 3

Expect "the certificate picked up", StartedProxy("https://ca.test/start").PickUp(), 42

On Error Resume Next
StartedProxy("https://ca.test/start-refusing").RequestStep1
Expect "a refused application", Err.Number, TSR_E_SERVER
On Error GoTo 0
WScript.Echo "passed"
