<%@ LANGUAGE="JScript" %>
<% var theWords = ["alpha", "beta"]; %>
<ul>
<% for (var i = 0; i < theWords.length; i++) { %>  <li><%= i + 1 %>: <%= theWords[i] %></li>
<% } %></ul>
<%= Server.HTMLEncode("<a href=\"x\">&</a>") %>
<%= Server.URLEncode("a b&c/d=é") %>
<% // a comment that runs to the end of the block %>after comment
