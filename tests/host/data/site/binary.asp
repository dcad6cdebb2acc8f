<% Response.ContentType = "text/plain";
var theTotal = Request.TotalBytes;
var theFirst = Request.BinaryRead(4);
var theRest = Request.BinaryRead(theTotal);
%>total=<%= theTotal %> first=<%= theFirst.length %>:<%= String.fromCharCode.apply(null, theFirst) %> rest=<%= theRest.length %>
<% try { Request.Form("x"); } catch (e) { %>refused: <%= e.description %><% } %>
<% Response.BinaryWrite(theRest); %>
