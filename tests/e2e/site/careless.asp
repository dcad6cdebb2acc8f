<%
// A careless upload page, as a hurried site might write one: it saves every file under the
// client's own name in a folder of the site and sets nothing. The upload mark is what must
// keep these files from ever running or rendering.
Response.ContentType = "text/plain";
var theForm = Server.CreateObject("Ferrolift4.XForm");
for (var e = new Enumerator(theForm); !e.atEnd(); e.moveNext()) {
  var theFields = theForm(e.item());
  for (var i = 1; i <= theFields.Count; i++) {
    var theField = theFields(i);
    if (!theField.FileExists) continue;
    try {
      theField.Save("drop/" + theField.SafeFileName);
      Response.Write("saved " + theField.SafeFileName + "\n");
    } catch (err) {
      Response.Write("not saved " + theField.SafeFileName + ": " + err.description + "\n");
    }
  }
}
%>
