// Form.js: the component as a JScript page uses it, late-bound, under Wine's cscript.
// Arguments: the shared uploads folder (tests/common/uploads) and a scratch site folder
// that the test Server object's MapPath maps virtual paths into. The test comsvcs.dll
// gives the page files.body as its request body.
var uploads = WScript.Arguments(0);
var site = WScript.Arguments(1);
var passed = 0, failed = 0;
var fso = new ActiveXObject("Scripting.FileSystemObject");

function check(what, got, want) {
    if (String(got) === String(want)) {
        passed++;
    } else {
        failed++;
        WScript.Echo("not ok - " + what + ": got [" + got + "], want [" + want + "]");
    }
}

// Text as values.tsv writes it: printable ASCII as is, any other UTF-16 unit as \uXXXX.
function escaped(text) {
    var out = "";
    for (var i = 0; i < text.length; i++) {
        var c = text.charCodeAt(i);
        if (c >= 32 && c < 127 && !(c === 92 && text.charAt(i + 1) === "u")) {
            out += text.charAt(i);
        } else {
            var hex = c.toString(16).toUpperCase();
            out += "\\u" + "0000".substr(hex.length) + hex;
        }
    }
    return out;
}

function canonical(value) {
    if (typeof value === "boolean")
        return value ? "True" : "False";
    if (typeof value === "string")
        return escaped(value);
    return String(value);
}

function newForm(body) {
    var form = new ActiveXObject("Ferrolift4.XForm");
    form.CodePage = 65001;
    form.AbsolutePath = true;
    form.Read(uploads + "\\" + body);
    return form;
}

// Every row of the shared table, one form per body.
function checkTable() {
    var forms = {};
    var file = fso.OpenTextFile(uploads + "\\values.tsv", 1);
    while (!file.AtEndOfStream) {
        var line = file.ReadLine();
        if (line.length === 0 || line.charAt(0) === "#")
            continue;
        var c = line.split("\t");
        if (!forms[c[0]])
            forms[c[0]] = newForm(c[0]);
        var target = forms[c[0]];
        if (c[1] !== "")
            target = target.Item(c[1]);
        if (c[2] !== "")
            target = target.Item(parseInt(c[2], 10));
        check(c.slice(0, 4).join(" "), canonical(target[c[3]]), c[4]);
    }
    file.Close();
}

function checkEnumerationAndItems() {
    var form = newForm("files.body");
    var names = [];
    for (var e = new Enumerator(form); !e.atEnd(); e.moveNext())
        names.push(e.item());
    check("Enumerator over the form", names.join(","), "title,comment,photos,document,nothing");
    var files = [];
    for (var e2 = new Enumerator(form("photos")); !e2.atEnd(); e2.moveNext())
        files.push(e2.item().FileName);
    check("Enumerator over a collection", files.join(","), "one.txt,two.bin");
    check("Item by number", form.Item(3).Count, 2);
    check("Item by name is case-insensitive", form.Item("Photos").Count, 2);
    check("default members", form("title")(1), "Holiday photos");
    check("collection index as text", form("photos")("2").FileName, "two.bin");
    check("Data is a byte array", typeof form("photos")(2).Data, "unknown");
    check("booleans are booleans", typeof form("photos")(1).FileExists, "boolean");
}

function checkSaving() {
    var form = newForm("files.body");
    var field = form("photos")(1);
    field.Save(site + "\\one.txt");
    check("Save writes the file", fso.GetFile(site + "\\one.txt").Size, 29);
    try {
        field.Save(site + "\\one.txt");
        check("Save refuses to overwrite", "no error", "an error");
    } catch (e) {
        check("Save refuses to overwrite: number", (e.number >>> 0).toString(16), "80040050");
        check("Save refuses to overwrite: has a description", e.description.length > 0, true);
    }
    form.Overwrite = true;
    field.Save(site + "\\one.txt");
    check("Save with Overwrite", fso.GetFile(site + "\\one.txt").Size, 29);
}

// The form reads the page's request body (files.body) itself and publishes progress.
function checkLiveIntake() {
    var form = new ActiveXObject("Ferrolift4.XForm");
    form.ID = 777;
    check("live intake: Count", form.Count, 5);
    form("photos")(2).Save("/two.bin");
    check("virtual Save goes through MapPath", fso.GetFile(site + "\\two.bin").Size, 300);
    var progress = new ActiveXObject("Ferrolift4.XProgress");
    progress.ID = 777;
    check("XProgress: BytesTotal", progress.BytesTotal, 1206);
    check("XProgress: PercentDone", progress.PercentDone, 100);
}

function checkErrors() {
    var form = new ActiveXObject("Ferrolift4.XForm");
    form.AbsolutePath = true;
    try {
        form.Read(site + "\\missing.body");
        check("Read of a missing file", "no error", "an error");
    } catch (e) {
        check("Read of a missing file: number", (e.number >>> 0).toString(16), "80004005");
        check("Read of a missing file: description", e.description.indexOf("Unable to read file.") === 0, true);
    }
    form = newForm("files.body");
    try {
        form("photos")("first");
        check("a collection index that is no number", "no error", "an error");
    } catch (e) {
        WScript.Echo("# collection index that is no number: " + (e.number >>> 0).toString(16) + " " + e.description);
        check("a collection index that is no number: Type mismatch", (e.number >>> 0).toString(16), "800a000d");
    }
    try {
        form.SetUser("nobody", "secret");
        check("SetUser not enabled", "no error", "an error");
    } catch (e) {
        check("SetUser not enabled: description", e.description, "Ferrolift impersonation is not enabled via registry");
    }
}

checkTable();
checkEnumerationAndItems();
checkSaving();
checkLiveIntake();
checkErrors();
WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
