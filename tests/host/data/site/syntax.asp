line one
<% var = ; %>
