// A request and its later pick-up through velTransport.dll and WinHTTP against a real tessera-ca
// (run_with_authority.sh): the certificate picked up must be the one the authority issued.
var TSR_E_SERVER = 0xC0049C05 | 0;

var shell = new ActiveXObject("WScript.Shell");
var files = new ActiveXObject("Scripting.FileSystemObject");
var pki = new ActiveXObject("velTesseraTests.CryptoApiPki");
var backChannel = new ActiveXObject("velTesseraTests.BackChannel");
var random = new ActiveXObject("velTesseraTests.IdleRandom");

// Wine's ExpandEnvironmentStrings keeps the terminating null in the text.
function environment(name) {
    var value = shell.ExpandEnvironmentStrings("%" + name + "%");
    var end = value.indexOf(String.fromCharCode(0));
    return end < 0 ? value : value.substring(0, end);
}

function expect(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo(what + ": got " + actual + ", expected " + expected);
        WScript.Quit(1);
    }
}

// The error the call throws ({number, description}), or none when it succeeds.
function errorOf(call) {
    try {
        call();
    } catch (e) {
        return e;
    }
    return {number: "none", description: ""};
}

function startedProxy() {
    var proxy = new ActiveXObject("velTesseraComm2.velTesseraProxy");
    proxy.Init(backChannel, random, pki, files.GetSpecialFolder(2).Path);
    proxy.InitComm(environment("VEL_AUTHORITY_START"));
    return proxy;
}

var requesting = startedProxy();
requesting.RequestStep1();
expect("the submission before approval", errorOf(function () {
    requesting.RequestStep2(environment("VEL_AUTHORITY_PASSWORD"), "key secret", 1, 1);
}).number, TSR_E_SERVER);

// Wine gives no handle of a Linux process to wait on and has no WScript.Sleep: the script polls
// for the approval's file, for 20 s at most.
shell.Exec(environment("VEL_AUTHORITY_APPROVE") + " 1");
var approved = environment("VEL_AUTHORITY_APPROVED");
var deadline = new Date().getTime() + 20000;
while (!files.FileExists(approved) && new Date().getTime() < deadline) {}
var approval = files.OpenTextFile(approved).ReadAll();
var issued = /^issued (\w+)/.exec(approval);
expect("the approval (" + approval + ")", issued !== null, true);
expect("the certificate picked up", pki.GetCertificate(startedProxy().PickUp()).Serial, issued[1]);

// The transport by name, failing before and at the connection: the error and its description.
var transport = new ActiveXObject("velTesseraComm2.velTransport");
transport.Init(backChannel, random);
var failures = [
    ["a closed port", "", "http://127.0.0.1:1/", 12029, "cannot connect to 127.0.0.1 port 1 "],
    // The certificate of the -oc file is looked up in the user's store; this file does not exist.
    ["a client certificate that is not stored", "-occ.pem -pkk.pem -ppsecret",
     "http://127.0.0.1:1/", 12044, "cannot use the client certificate for 127.0.0.1 port 1 ("],
    ["another scheme", "", "ftp://127.0.0.1/", 12006, "the address is neither http nor https"],
    // The authority's web server knows no such page and says so with its status alone.
    ["an error status without markup", "",
     environment("VEL_AUTHORITY_START").replace(/^(http:\/\/[^\/]+).*$/, "$1/nowhere"), 12003,
     "an error answer without the component's markup came from 127.0.0.1 port "],
    // The authority's own CA is not in Wine's store of trusted roots; Wine tells a failed
    // verification as a failed handshake.
    ["an untrusted server", "", environment("VEL_AUTHORITY_TLS"), 12157,
     "cannot set up a secure connection with 127.0.0.1 port "]];
for (var row = 0; row < failures.length; ++row) {
    var failure = failures[row];
    var error = errorOf(function () { transport.Get(failure[1], failure[2], undefined, undefined); });
    expect(failure[0], error.number, 0x80070000 | failure[3]);
    expect(failure[0] + " (" + error.description + ")",
           error.description.indexOf(failure[4]) === 0, true);
}
WScript.Echo("passed");
