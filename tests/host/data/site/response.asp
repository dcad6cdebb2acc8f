<% Response.Write("dropped");
Response.Clear();
Response.ContentType = "text/plain";
Response.Charset = "iso-8859-1";
Response.Status = "201 Created";
Response.AddHeader("X-Test", "yes");
%>kept
<% Response.End(); %>never
