<%
// Logs on as ?user= with the posted password, then saves the posted file as that
// account: what a site that files uploads per account does.
var theForm = Server.CreateObject("Ferrolift4.XForm");
theForm.Overwrite = true;
try {
  theForm.SetUser(String(Request.QueryString("user")), String(theForm("password")(1).Content));
} catch (err) {
  Response.Write("setuser failed " + (err.number >>> 0).toString(16) + " " + err.description + "\n");
  Response.End();
}
Response.Write("user " + theForm.User + "\n");
theForm("file1")(1).Save("uploads/" + String(Request.QueryString("target")));
Response.Write("saved\n");
%>
