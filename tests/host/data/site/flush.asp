<% Response.ContentType = "text/plain";
Response.Write("first ");
Response.Flush();
Response.Write("second ");
try { Response.Status = "404 Not Found"; } catch (e) { Response.Write(e.description); }
%>
