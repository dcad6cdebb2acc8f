<!-- #include file="inc/thrower.inc" -->
<% Throw(); %>
