<%
// MapPath and field saves that try to leave the site.
Response.ContentType = "text/plain";
var theAttempts = ["/../outside.txt", "../../outside.txt", "..\\..\\outside.txt", "/e2e/../../outside.txt",
                   "uploads/../../../../etc/passwd"];
for (var i = 0; i < theAttempts.length; i++) {
  try {
    Response.Write("mapped " + Server.MapPath(theAttempts[i]) + "\n");
  } catch (e) {
    Response.Write("refused " + (e.number >>> 0).toString(16) + "\n");
  }
}
if (Request.TotalBytes > 0) {
  var theForm = Server.CreateObject("Ferrolift4.XForm");
  var theField = theForm("file")(1);
  try {
    theField.Save(String(Request.QueryString("target")));
    Response.Write("saved\n");
  } catch (e) {
    Response.Write("save refused: " + e.description + "\n");
  }
}
%>
