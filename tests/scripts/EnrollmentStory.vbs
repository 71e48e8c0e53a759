' The whole life of a certificate from a script, as `tessera demo` tells it, with the shipped
' modules alone against a real tessera-ca (run_with_authority.sh): trust in the authority, a
' certificate issued at once, one approved by hand and picked up, a check, the revocation list,
' a renewal over client-certificate TLS, a revocation and the check again; at the end the renewed
' certificate goes into a PKCS#12 file, which the Linux side reads with openssl.
Option Explicit

Const TSR_E_SERVER = &HC0049C05
Const SMStatusActive = 1
Const SMStatusRevoked = 3
Const KeyPassword = "story key password"

Dim shell, files, pki
Set shell = CreateObject("WScript.Shell")
Set files = CreateObject("Scripting.FileSystemObject")
Set pki = CreateObject("velTesseraComm2.velPKI")

' Wine's ExpandEnvironmentStrings keeps the terminating null in the text.
Function Environment(name)
    Environment = shell.ExpandEnvironmentStrings("%" & name & "%")
    If InStr(Environment, Chr(0)) > 0 Then Environment = Left(Environment, InStr(Environment, Chr(0)) - 1)
End Function

Sub Expect(what, condition)
    If Not condition Then
        WScript.Echo what & ": not so"
        WScript.Quit 1
    End If
End Sub

Sub Step(title)
    WScript.Echo "== " & title
End Sub

' Stops the story with the error of the last call, if it failed.
Sub Succeeded(what)
    If Err.Number <> 0 Then
        WScript.Echo what & " failed: 0x" & Hex(Err.Number) & " " & Err.Description
        WScript.Quit 1
    End If
End Sub

' Runs a shell command of the harness and waits for the file it writes when done (20 s at most:
' Wine gives no handle of a Linux process to wait on, and cscript has no WScript.Sleep).
Function RunAndRead(command, resultFile)
    Dim deadline
    shell.Exec command
    deadline = Timer + 20
    Do While Not files.FileExists(resultFile) And Timer < deadline
    Loop
    Expect command & " finished", files.FileExists(resultFile)
    Dim stream
    Set stream = files.OpenTextFile(resultFile)
    RunAndRead = stream.ReadAll()
    stream.Close
End Function

Function StartedProxy()
    Set StartedProxy = CreateObject("velTesseraComm2.velTesseraProxy")
    StartedProxy.Init Nothing, Nothing, pki, files.GetSpecialFolder(2).Path
    StartedProxy.InitComm Environment("VEL_AUTHORITY_START")
End Function

Function Parameter(node, name)
    Dim index
    Parameter = ""
    For index = 1 To node.SubNodes.Count
        If node.SubNodes.Item(index).Name = name Then Parameter = node.SubNodes.Item(index).StringProp
    Next
End Function

Function Requested()
    Dim proxy
    Set proxy = StartedProxy()
    proxy.RequestStep1
    Requested = proxy.RequestStep2(Environment("VEL_AUTHORITY_PASSWORD"), KeyPassword, 1, 1)
End Function

Function CheckedState(certificate)
    CheckedState = Parameter(StartedProxy().Check(certificate), "-cert_state")
End Function

Dim first, second, renewed, answer, proxy, certificate, key, exported

Step "trust the authority's certificate by its fingerprint"
pki.SetTrustAnchor Environment("VEL_AUTHORITY_CA"), Environment("VEL_AUTHORITY_FINGERPRINT")
Expect "the trust anchor", Not pki.GetTrustAnchor() Is Nothing

Step "request a certificate: issued and picked up at once"
first = Requested()
Set certificate = pki.GetCertificate(first)
WScript.Echo "  issued serial " & certificate.Serial

Step "restart tessera-ca (approval: manual) and request a second one: it waits"
Expect "the restart", InStr(RunAndRead(Environment("VEL_AUTHORITY_RESTART"), Environment("VEL_AUTHORITY_RESTARTED")), "restarted") > 0
On Error Resume Next
second = Requested()
Expect "the waiting request's error (0x" & Hex(Err.Number) & " " & Err.Description & ")", Err.Number = TSR_E_SERVER
On Error GoTo 0
' VBScript (Wine's at least) can neither index nor enumerate an array of texts: its type tells
' that the request is open, and the authority's operator approves the one pending.
Expect "an open request", VarType(pki.GetOpenRequests()) = vbArray + vbString

Step "approve it at the authority and pick it up"
answer = RunAndRead(Environment("VEL_AUTHORITY_APPROVE") & " pending", Environment("VEL_AUTHORITY_APPROVED"))
Expect "the approval (" & answer & ")", Left(answer, 7) = "issued "
second = StartedProxy().PickUp()
Expect "the picked-up certificate is the approved one", InStr(answer, "issued " & pki.GetCertificate(second).Serial & vbLf) = 1

Step "check the first certificate"
Expect "the authority's state of the first certificate", CheckedState(certificate) = "1"

Step "update the revocation list"
StartedProxy().UpdateCRL
Expect "the store's state of the first certificate", pki.Verify2(first, 0) = SMStatusActive

Step "renew the first certificate over client-certificate TLS"
Set proxy = StartedProxy()
proxy.RenewStep1 certificate, pki.CreateAuthenticator(KeyPassword)
renewed = proxy.RenewStep2(KeyPassword, 1)
WScript.Echo "  renewed serial " & pki.GetCertificate(renewed).Serial

Step "revoke the first certificate and check it again"
StartedProxy().Revoke certificate
Expect "the authority's state of the revoked certificate", CheckedState(certificate) = "2"

Step "update the revocation list: it names the revoked certificate"
StartedProxy().UpdateCRL
Expect "the store's state of the revoked certificate", pki.Verify2(first, 0) = SMStatusRevoked

Step "export the renewed certificate with its key to PKCS#12"
Set key = pki.FindKey(renewed)
key.Decrypt KeyPassword
exported = Environment("VEL_AUTHORITY_WORK") & "\story.p12"
pki.ExportPKCS12 exported, "export password", pki.GetCertificate(renewed), key, 1
files.CreateTextFile(Environment("VEL_AUTHORITY_WORK") & "\story.serial").Write pki.GetCertificate(renewed).Serial
WScript.Echo "passed"
