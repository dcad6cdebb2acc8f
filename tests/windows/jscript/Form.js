// Form.js: the component as a JScript page uses it, late-bound, under Wine's cscript.
// Arguments: the shared uploads folder (tests/common/uploads) and a scratch site folder
// that the test Server object's MapPath maps virtual paths into. The test comsvcs.dll
// gives the page files.body as its request body. Wine's JScript cannot build an
// Enumerator over the component's collections nor take a byte array as a value, so
// collections are walked by number and bytes are left to the VBScript page.
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

function checkItems() {
    var form = newForm("files.body");
    var names = [];
    for (var i = 1; i <= form.Count; i++)
        names.push(form.Item(i).Item(1).Name);
    check("Item by number over the form", names.join(","), "title,comment,photos,document,nothing");
    var files = [];
    for (var j = 1; j <= form("photos").Count; j++)
        files.push(form("photos")(j).FileName);
    check("default members over a collection", files.join(","), "one.txt,two.bin");
    check("Item by name is case-insensitive", form.Item("Photos").Count, 2);
    check("default members", form("title")(1), "Holiday photos");
    check("collection index as text", form("photos")("2").FileName, "two.bin");
    check("booleans are booleans", typeof form("photos")(1).FileExists, "boolean");
    check("numbers are numbers", typeof form("photos")(1).Length, "number");
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
    check("XProgress: PercentDone while the form lives", progress.PercentDone, 95);
}

function checkErrors() {
    var form = new ActiveXObject("Ferrolift4.XForm");
    form.AbsolutePath = true;
    try {
        form.Read(site + "\\missing.body");
        check("Read of a missing file", "no error", "an error");
    } catch (e) {
        check("Read of a missing file: number", (e.number >>> 0).toString(16), "80004005");
        check("Read of a missing file: description", e.description.indexOf("Unable to read file.") >= 0, true);
    }
    form = newForm("files.body");
    try {
        // The value is used: Wine's JScript calls a member whose value is dropped as a
        // method only, which a property get does not answer.
        var item = form("photos").Item("first");
        check("a collection index that is no number", "no error", "an error");
    } catch (e) {
        check("a collection index that is no number: the conversion's error", (e.number >>> 0).toString(16),
              "80020005");
    }
    try {
        form.SetUser("nobody", "secret");
        check("SetUser not enabled", "no error", "an error");
    } catch (e) {
        check("SetUser not enabled: description", e.description, "Ferrolift impersonation is not enabled via registry");
    }
}

checkTable();
checkItems();
checkSaving();
checkLiveIntake();
checkErrors();
WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
