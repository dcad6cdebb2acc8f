<% Response.ContentType = "text/plain"; %><%= Server.MapPath("file.txt").replace(Server.MapPath("/"), "") %> <%= Server.MapPath("/file.txt").replace(Server.MapPath("/"), "") %>
