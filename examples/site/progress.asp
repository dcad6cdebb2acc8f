<%
// Polled by the upload page while its upload runs: the progress of one ID as JSON.
Response.ContentType = "application/json";
Response.AddHeader("Cache-Control", "no-store");
var theProgress = Server.CreateObject("Ferrolift4.XProgress");
theProgress.ID = Number(Request.QueryString("ID")) | 0;
var theFigures = {
  id: theProgress.ID,
  started: theProgress.Started,
  percent: theProgress.PercentDone,
  bytesDone: theProgress.BytesDone,
  bytesTotal: theProgress.BytesTotal,
  bytesPerSecond: theProgress.BytesPerSecond,
  secondsLeft: theProgress.SecondsLeft,
  elapsedSeconds: theProgress.ElapsedSeconds,
  note: theProgress.Note
};
Response.Write(JSON.stringify(theFigures));
%>
