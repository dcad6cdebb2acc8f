<%
// Polled while uploads run: the figures of one progress ID as JSON.
Response.ContentType = "application/json";
Response.AddHeader("Cache-Control", "no-store");
var theProgress = Server.CreateObject("Ferrolift4.XProgress");
theProgress.ID = Number(Request.QueryString("ID")) | 0;
Response.Write('{"done":' + theProgress.BytesDone + ',"total":' + theProgress.BytesTotal +
               ',"percent":' + theProgress.PercentDone + '}');
%>
