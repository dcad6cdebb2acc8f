<% Response.ContentType = "text/plain";
var theRoot = Server.MapPath("/");
function Show(inPath) {
  try {
    return Server.MapPath(inPath).replace(theRoot, "<root>");
  } catch (e) {
    return "refused " + e.number.toString(16);
  }
}
%>root=<%= Show("/") %>
page=<%= Show("x.txt") %>
sub=<%= Show("sub/../sub/y.txt") %>
up=<%= Show("../outside.txt") %>
deep=<%= Show("/sub/../../etc/passwd") %>
back=<%= Show("\\..\\..\\etc") %>
link=<%= Show("/sub/escape/passwd") %>
