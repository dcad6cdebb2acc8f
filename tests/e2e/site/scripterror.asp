<%
var theValue = null;
Response.Write(theValue.missing);
%>
