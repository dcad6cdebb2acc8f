<!-- #include file="inc/layout.inc" -->
<!-- #include file="inc/storednames.inc" -->
<%
// Receives the upload: reads every field, shows every property, saves each file under
// uploads/ by a name the server chooses (see inc/storednames.inc). The client's file name
// is only ever shown, escaped.
// Big uploads take a while; the page must outlast them.
Server.ScriptTimeout = 3600;
var theForm = Server.CreateObject("Ferrolift4.XForm");
var theId = Number(Request.QueryString("ID"));
if (theId) theForm.ID = theId;
// ?max=BYTES lowers the size limit, to try a refused upload; it never raises it.
var theMax = Number(Request.QueryString("max"));
theForm.MaxUploadSize = theMax > 0 && theMax < kMaxUploadSize ? Math.floor(theMax) : kMaxUploadSize;
// Stored names never replace a file: a taken name moves on to the next number.
theForm.Overwrite = false;
var theFileCount = 0;

var theFailure = null;
var theNames = [];
try {
  // The code page choice travels in the upload itself; its digits read the same in
  // every code page, so it is read first and then applied to everything else.
  for (var e = new Enumerator(theForm); !e.atEnd(); e.moveNext()) theNames.push(e.item());
  // A name that is not in the form reads as a number and fails, so look first.
  for (var n = 0; n < theNames.length; n++) {
    if (theNames[n].toLowerCase() != "codepage") continue;
    var theCodePage = Number(String(theForm(theNames[n])(1).Content));
    if (!isNaN(theCodePage)) theForm.CodePage = theCodePage;
  }
} catch (err) {
  theFailure = err;
}

PageStart(theFailure ? "Upload refused" : "Upload received");
if (theFailure) {
%>
<h1>Upload refused</h1>
<div class="card error" id="failure">
  <p class="message"><%= Html(theFailure.description || theFailure.message) %></p>
  <p class="code">Error <%= (theFailure.number >>> 0).toString(16) %><%= theFailure.source ? " from " + Html(theFailure.source) : "" %></p>
</div>
<p><a class="button" href="./">Try again</a></p>
<%
} else {
%>
<h1>Upload received</h1>
<p class="lead"><b id="field-count"><%= theForm.Count %></b> field names, multipart:
<b><%= theForm.Multipart ? "yes" : "no" %></b>, code page <b><%= theForm.CodePage %></b>,
progress ID <b><%= theForm.ID %></b>.</p>
<%
  for (var n = 0; n < theNames.length; n++) {
    var theFields = theForm(theNames[n]);
    for (var i = 1; i <= theFields.Count; i++) {
      var theField = theFields(i);
      ShowField(theField, i, theFields.Count);
    }
  }
%>
<p><a class="button" href="./">Upload more</a></p>
<%
}
PageEnd();

function Row(inName, inValue, inClass) {
  var theText = String(inValue === undefined || inValue === null ? "" : inValue);
  Response.Write('<div class="prop' + (inClass ? ' ' + inClass : '') + '"><span class="k">' + inName +
                 '</span><span class="v' + (theText === "" ? ' empty' : '') + '">' + Html(theText) + '</span></div>\n');
}

function ShowField(inField, inIndex, inCount) {
  var theIsFile = inField.FileExists;
  var theStored = "";
  var theNotSaved = "";
  if (theIsFile) {
    try {
      theStored = SaveUpload(theForm, inField, ++theFileCount);
    } catch (err) {
      theNotSaved = "not saved: " + (err.description || err.message);
    }
  }
  Response.Write('<section class="card field ' + (theIsFile ? 'file' : 'text') + '">\n<h2>' + Html(inField.Name) +
                 (inCount > 1 ? ' <span class="index">' + inIndex + ' of ' + inCount + '</span>' : '') +
                 '<span class="kind">' + (theIsFile ? 'file' : 'text') + '</span></h2>\n<div class="props">\n');
  if (!theIsFile) Row("Content", inField.Content, "wide content");
  Row("Length", inField.Length);
  Row("RawLength", inField.RawLength);
  Row("FileExists", inField.FileExists);
  Row("RawFilePath", inField.RawFilePath);
  Row("RawFileName", inField.RawFileName);
  Row("SafeFileName", inField.SafeFileName, "safe-name");
  Row("FileName", inField.FileName);
  Row("RawFileType", inField.RawFileType);
  Row("FileType", inField.FileType);
  Row("MIMEType", inField.MIMEType);
  Row("MacBinary", inField.MacBinary);
  Row("ImageType", kImageKinds[inField.ImageType] + " (" + inField.ImageType + ")");
  Row("ImageWidth", inField.ImageWidth);
  Row("ImageHeight", inField.ImageHeight);
  if (theStored) {
    Response.Write('<div class="prop wide saved"><span class="k">Saved</span><span class="v"><a href="download.asp?name=' +
                   Server.URLEncode(theStored) + '">' + Html(theStored) + '</a> (' + FormatBytes(inField.Length) + ')</span></div>\n');
  } else if (theNotSaved) {
    Row("Saved", theNotSaved, "wide not-saved");
  }
  Response.Write('</div>\n</section>\n');
}
%>
