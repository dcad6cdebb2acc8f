<!-- #include file="inc/header.inc" -->
body of <%= PageName() %>
<!--#INCLUDE VIRTUAL="/inc/footer.inc"-->
<!-- an ordinary comment -->
