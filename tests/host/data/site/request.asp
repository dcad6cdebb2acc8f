<% Response.ContentType = "text/plain"; %>id=<%= String(Request.QueryString("id")) %>
missing=<%= String(Request.QueryString("missing")) %>
tag=<%= Request.QueryString("TAG") %> count=<%= Request.QueryString("tag").Count %> second=<%= Request.QueryString("tag").Item(2) %>
names=<%= Request.QueryString.Count %> raw=<%= Request.QueryString() %>
<% for (var e = new Enumerator(Request.QueryString); !e.atEnd(); e.moveNext()) { %>[<%= e.item() %>]<% } %>
method=<%= Request.ServerVariables("REQUEST_METHOD") %> url=<%= Request.ServerVariables("URL") %>
total=<%= Request.TotalBytes %>
