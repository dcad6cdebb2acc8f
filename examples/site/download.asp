<!-- #include file="inc/layout.inc" -->
<!-- #include file="inc/storednames.inc" -->
<%
// Hands out a stored upload: download.asp?name=1234-1.jpg. Only names that the site makes
// itself pass (no folders, no dots but the one before the extension); the browser is then
// sent to the stored file. The page engine serves every uploaded file as an attachment
// (it carries the upload mark), so it is downloaded, never shown or run on this site.
var theName = String(Request.QueryString("name"));
if (IsStoredName(theName)) {
  Response.Redirect("uploads/" + theName);
}
Response.Status = "404 Not Found";
PageStart("No such upload");
%>
<h1>No such upload</h1>
<div class="card error" id="failure">
  <p class="message">There is no stored upload by the name <code><%= Html(theName) %></code>.
  Stored names look like <code>1234-1.jpg</code>.</p>
</div>
<p><a class="button" href="./">Upload files</a></p>
<% PageEnd(); %>
