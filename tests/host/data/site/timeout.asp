<% Server.ScriptTimeout = 1;
var theStart = new Date().getTime();
while (new Date().getTime() - theStart < 1500) {}
Response.Write("too late");
%>
