<!-- #include file="inc/layout.inc" -->
<!-- #include file="inc/storednames.inc" -->
<%
// The progress ID is made here so that the upload and the progress page can share it.
var theProgress = Server.CreateObject("Ferrolift4.XProgress");
var theId = theProgress.ID;
PageStart("Upload files");
%>
<h1>Upload files</h1>
<p class="lead">Choose a few files and send them. The bar follows the upload as the server
receives it; the next page lists every field and every property the component reports.
Files are stored under names the server chooses and are handed back only as downloads.</p>

<form id="upload" class="card" method="post" enctype="multipart/form-data"
      action="results.asp?ID=<%= theId %>" data-progress="progress.asp?ID=<%= theId %>">
  <div class="grid">
    <label>First file <input type="file" name="file1"></label>
    <label>Second file <input type="file" name="file2"></label>
    <label>More files <input type="file" name="more" multiple></label>
  </div>
  <label>Description <input type="text" name="description" placeholder="What are these files?"></label>
  <label>Code page of text and names
    <select name="codepage">
      <option value="65001" selected>65001 · UTF-8</option>
      <option value="1252">1252 · Western European</option>
      <option value="1251">1251 · Cyrillic</option>
      <option value="932">932 · Japanese (Shift-JIS)</option>
      <option value="0">0 · system default</option>
    </select>
  </label>
  <p class="limit" id="limit">Up to <b><%= FormatBytes(kMaxUploadSize) %></b> in all per upload.</p>
  <div class="actions"><button type="submit" id="send">Upload</button></div>
</form>

<section id="progress" class="card progress" hidden>
  <div class="bar"><div class="fill" id="fill" style="width:0%"></div></div>
  <div class="figures">
    <span><b id="percent">0</b> %</span>
    <span><b id="bytes">0 B</b> of <b id="total">?</b></span>
    <span><b id="rate">0 B</b>/s</span>
    <span><b id="left">–</b> s left</span>
  </div>
  <p class="note" id="note">Connecting...</p>
</section>

<script src="upload.js"></script>
<% PageEnd(); %>
