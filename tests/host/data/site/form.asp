<% Response.ContentType = "text/plain"; %>name=<%= Request.Form("name") %>
colors=<%= Request.Form("color") %> (<%= Request.Form("color").Count %>)
note=<%= Request.Form("note") %>
<% try { Request.BinaryRead(10); } catch (e) { %>refused: <%= e.description %> <%= e.number %><% } %>
