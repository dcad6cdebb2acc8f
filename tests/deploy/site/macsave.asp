<%
// Saves the MacBinary field "mac" as a Macintosh upload page does: the data fork as the
// file, the resource fork and the Finder information as its streams.
var theForm = Server.CreateObject("Ferrolift4.XForm");
theForm.Streams = true;
theForm.Overwrite = true;
var theField = theForm("mac")(1);
theField.Save("uploads/" + String(Request.QueryString("name")));
Response.Write("macbinary " + theField.MacBinary + " data " + theField.Length + " type " + theField.FileType + "\n");
%>
