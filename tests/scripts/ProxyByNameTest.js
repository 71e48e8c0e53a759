// The proxy as a JScript page drives it: created by ProgID, called by name, its node trees walked
// with an Enumerator, its failures read from the error's number. Exits 1 with a line on the first
// mismatch.
var TSR_E_WRONG_STEP = 0xC0049C04 | 0;
var TSR_E_SERVER = 0xC0049C05 | 0;

function expect(what, actual, expected) {
    if (actual !== expected) {
        WScript.Echo(what + ": got " + actual + ", expected " + expected);
        WScript.Quit(1);
    }
}

function startedProxy(startAddress) {
    var proxy = new ActiveXObject("velTesseraComm2.velTesseraProxy");
    // A JScript null is no object; the host's collaborators are real ones.
    proxy.Init(new ActiveXObject("velTesseraTests.BackChannel"),
               new ActiveXObject("velTesseraTests.IdleRandom"),
               new ActiveXObject("velTesseraTests.RecordingPki"),
               new ActiveXObject("Scripting.FileSystemObject").GetSpecialFolder(2).Path);
    proxy.InitComm(startAddress);
    return proxy;
}

// The number of the error the call throws, or none when it succeeds.
function errorNumber(call) {
    try {
        call();
    } catch (e) {
        return e.number;
    }
    return "none";
}

var proxy = startedProxy("https://ca.test/start");
var application = proxy.RequestStep1();
var seen = application.Name + ":";
for (var params = new Enumerator(application.SubNodes); !params.atEnd(); params.moveNext())
    seen += " " + params.item().Name + "=" + params.item().StringProp;
expect("the application", seen, "application: -ident-org_name=Org -ident-ku_vname=Eva -challenge=c-1");
expect("the parameter count", application.SubNodes.Count, 3);
expect("a second application step", errorNumber(function () { proxy.RequestStep1(); }),
       TSR_E_WRONG_STEP);

expect("the certificate picked up", startedProxy("https://ca.test/start").PickUp(), 42);

var refusing = startedProxy("https://ca.test/start-refusing");
expect("a refused application", errorNumber(function () { refusing.RequestStep1(); }),
       TSR_E_SERVER);
WScript.Echo("passed");
