<% Response.Write("before");
var x = 1;

undefinedFunction(x);
%>
