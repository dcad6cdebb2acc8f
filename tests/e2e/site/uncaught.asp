<%
// Fails on purpose: the component's failure is not caught.
var theForm = Server.CreateObject("Ferrolift4.XForm");
theForm.MaxUploadSize = 10;
Response.Write(theForm.Count);
%>
