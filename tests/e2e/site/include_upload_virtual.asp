<!-- #include virtual="/e2e/drop/shell.asp" -->
<p>the page around an uploaded page</p>
