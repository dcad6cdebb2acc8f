<% Response.Write("dropped"); Response.Redirect(Request.QueryString("to").Count ? String(Request.QueryString("to")) : "/static.txt?from=redirect"); %>never
