<!-- #include file="inc/layout.inc" -->
<!-- #include file="inc/storednames.inc" -->
<%
// Saves a whole request body as it arrived and reads it back with a second form: the
// copy splits into the same fields.
PageStart("Raw body");
%>
<h1>Raw body: save and read back</h1>
<p class="lead">The form below posts a small upload. This page saves the request body exactly as
it arrived (<code>XForm.Save</code>), reads that file back into a second form
(<code>XForm.Read</code>) and compares the fields of both.</p>
<%
if (Request.ServerVariables("REQUEST_METHOD") == "POST") {
  Server.ScriptTimeout = 3600;
  var theForm = Server.CreateObject("Ferrolift4.XForm");
  theForm.MaxUploadSize = kMaxUploadSize;
  theForm.Overwrite = true;
  var theStored = RawBodyName(theForm.ID);
  var theFile = "uploads/" + theStored;
  try {
    theForm.Save(theFile);
    var theCopy = Server.CreateObject("Ferrolift4.XForm");
    theCopy.Read(theFile);
%>
<p class="lead">The body was saved as <a id="raw-file" href="download.asp?name=<%= Server.URLEncode(theStored) %>"><%= Html(theStored) %></a>
(<%= FormatBytes(Request.TotalBytes) %>) and read back from there.</p>
<div class="card">
<table class="compare">
<tr><th>Field</th><th>Received</th><th>Read back</th></tr>
<%
    for (var e = new Enumerator(theForm); !e.atEnd(); e.moveNext()) {
      var theName = e.item();
      var theOriginal = theForm(theName)(1);
      var theRead = theCopy(theName)(1);
      var theSame = theOriginal.RawLength == theRead.RawLength && theOriginal.RawFileName == theRead.RawFileName;
%>
<tr class="<%= theSame ? "same" : "different" %>"><td><%= Html(theName) %></td>
<td><%= theOriginal.FileExists ? Html(theOriginal.RawFileName) + ", " : "" %><%= theOriginal.RawLength %> bytes</td>
<td><%= theRead.FileExists ? Html(theRead.RawFileName) + ", " : "" %><%= theRead.RawLength %> bytes <%= theSame ? "✓" : "✗" %></td></tr>
<%
    }
%>
</table>
</div>
<%
  } catch (err) {
%>
<div class="card error"><p class="message"><%= Html(err.description || err.message) %></p></div>
<%
  }
}
%>
<form class="card" method="post" enctype="multipart/form-data" action="rawbody.asp">
  <label>A file <input type="file" name="file"></label>
  <label>A note <input type="text" name="note" value="saved as sent"></label>
  <p class="limit">Up to <b><%= FormatBytes(kMaxUploadSize) %></b> in all.</p>
  <div class="actions"><button type="submit">Save the raw body</button></div>
</form>
<% PageEnd(); %>
