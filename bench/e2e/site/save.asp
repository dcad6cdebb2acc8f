<%
// Receives one big file and saves it: what the upload benchmark measures.
Server.ScriptTimeout = 3600;
var theForm = Server.CreateObject("Ferrolift4.XForm");
theForm.MaxUploadSize = 2147483647;
theForm.Overwrite = true;
var theField = theForm("file")(1);
theField.Save("upload.bin");
Response.ContentType = "text/plain";
Response.Write(theField.Length + "\n");
%>
