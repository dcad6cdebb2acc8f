<%
// The load benchmark's upload page: reads both text fields and saves the file under
// uploads/ by the slot the client names. Clients reuse a small set of slots, so a long
// run keeps the disk small; the slow-upload client gives every upload its own slot so that
// each saved file can be checked afterwards.
Server.ScriptTimeout = 600;
var theForm = Server.CreateObject("Ferrolift4.XForm");
var theId = Number(Request.QueryString("ID")) | 0;
if (theId > 0) theForm.ID = theId;
theForm.Overwrite = true;
var theSlot = String(Request.QueryString("slot")).replace(/[^0-9A-Za-z_-]/g, "");
if (theSlot === "" || theSlot === "undefined") theSlot = "0";
var theTitle = String(theForm("title")(1).Content);
var theNote = String(theForm("note")(1).Content);
var theFile = theForm("file")(1);
theFile.Save("uploads/" + theSlot + ".bin");
Response.ContentType = "text/plain";
Response.Write(theFile.Length + " " + theTitle.length + " " + theNote.length + "\n");
%>
