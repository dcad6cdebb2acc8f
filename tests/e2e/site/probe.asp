<%
// Tells the end-to-end scripts whether the form and field objects can be scripted yet.
var theForm = Server.CreateObject("Ferrolift4.XForm");
try {
  var theCount = theForm.Count;
  var theLength = theForm("x")(1).Length;
  Response.Write("ready " + theCount + " " + theLength);
} catch (e) {
  Response.Write("missing " + (e.number >>> 0).toString(16));
}
%>
