Attribute VB_Name = "Dorv"
' Dorv client library dorv32.dll for VBA (Excel, Word, Access).
'
' Every integer argument and every connection handle is a 32-bit Long; texts
' go ByVal As String. A text the library writes into (a version, an
' explanation, a line, a field, a key) must be given room first, for example
' text = String$(1024, vbNullChar), and is cut at its first NUL afterwards.
' hl_connect upper-cases its transport text in place.
Option Explicit

#If VBA7 Then
' 64-bit and 32-bit Office 2010 and later (64-bit Office needs dorv32.dll of the Win64 build).
Public Declare PtrSafe Function hl_connect Lib "dorv32.dll" (ByVal transport As String, ByVal server As String, ByVal service As String, ByVal debugflag As Long) As Long
Public Declare PtrSafe Function hl_connect_ini Lib "dorv32.dll" (ByVal filename As String, ByVal section As String, ByVal debugflag As Long, ByVal dbopen As Long) As Long
Public Declare PtrSafe Function hl_disconnect Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare PtrSafe Function hl_set_inifile Lib "dorv32.dll" (ByVal handle As Long, ByVal filename As String, ByVal section As String) As Long
Public Declare PtrSafe Function hl_echo Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare PtrSafe Function hl_uxcmd Lib "dorv32.dll" (ByVal handle As Long, ByVal command As String) As Long
Public Declare PtrSafe Function hl_fetch_blk Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_fetch_ln Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_dorv_version Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare PtrSafe Function hl_dorv_exec Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare PtrSafe Function hl_dorv_explain Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long, ByVal code As Long) As Long
Public Declare PtrSafe Function hl_dorv_hdr_ln Lib "dorv32.dll" (ByVal handle As Long, ByVal code As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_dorv_next_row Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_dorv_hdr_val Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare PtrSafe Function hl_dorv_next_val Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare PtrSafe Function hl_dorv_tfield Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_dorv_field Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare PtrSafe Function hl_dorv_select_entry Lib "dorv32.dll" (ByVal hdl As Long, ByVal keyfield As String, ByVal keylen As Long, ByVal max_select As Long) As Long
#Else
' Office 97 to 2007 (32-bit).
Public Declare Function hl_connect Lib "dorv32.dll" (ByVal transport As String, ByVal server As String, ByVal service As String, ByVal debugflag As Long) As Long
Public Declare Function hl_connect_ini Lib "dorv32.dll" (ByVal filename As String, ByVal section As String, ByVal debugflag As Long, ByVal dbopen As Long) As Long
Public Declare Function hl_disconnect Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare Function hl_set_inifile Lib "dorv32.dll" (ByVal handle As Long, ByVal filename As String, ByVal section As String) As Long
Public Declare Function hl_echo Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare Function hl_uxcmd Lib "dorv32.dll" (ByVal handle As Long, ByVal command As String) As Long
Public Declare Function hl_fetch_blk Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_fetch_ln Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_dorv_version Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare Function hl_dorv_exec Lib "dorv32.dll" (ByVal handle As Long, ByVal text As String) As Long
Public Declare Function hl_dorv_explain Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long, ByVal code As Long) As Long
Public Declare Function hl_dorv_hdr_ln Lib "dorv32.dll" (ByVal handle As Long, ByVal code As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_dorv_next_row Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_dorv_hdr_val Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare Function hl_dorv_next_val Lib "dorv32.dll" (ByVal handle As Long) As Long
Public Declare Function hl_dorv_tfield Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_dorv_field Lib "dorv32.dll" (ByVal handle As Long, ByVal buffer As String, ByVal size As Long) As Long
Public Declare Function hl_dorv_select_entry Lib "dorv32.dll" (ByVal hdl As Long, ByVal keyfield As String, ByVal keylen As Long, ByVal max_select As Long) As Long
#End If

Public Const DORV_OK As Long = 0
Public Const DORV_EOF As Long = -9
Public Const DORV_NO_STATUS As Long = 100

' The text before the first NUL of a buffer the library has written.
Public Function DorvText(ByVal buffer As String) As String
    Dim n As Long
    n = InStr(buffer, vbNullChar)
    If n > 0 Then DorvText = Left$(buffer, n - 1) Else DorvText = buffer
End Function

' Example: connects with section Parts of dorv.ini, shows the server's
' version, and writes the parts table into the active sheet from A1 on,
' headings first.
Public Sub DorvPartsExample()
    Dim handle As Long, status As Long, row As Long, col As Long
    Dim text As String, stmt As String

    handle = hl_connect_ini("dorv.ini", "Parts", 0, 1)
    If handle = -1 Then Exit Sub ' the library has shown why

    text = String$(1024, vbNullChar)
    If hl_dorv_version(handle, text) = DORV_OK Then
        Application.StatusBar = "Dorv server " & DorvText(text)
    End If

    stmt = "SELECT number, name, price FROM parts ORDER BY number"
    status = hl_dorv_exec(handle, stmt)
    If status > 0 Then
        hl_dorv_explain handle, vbNullString, 0, 2000 ' shows the server's explanation
    ElseIf status = DORV_OK Then
        row = 1
        status = hl_dorv_hdr_val(handle)
        Do While status = DORV_OK
            col = 1
            Do
                text = String$(256, vbNullChar)
                status = hl_dorv_field(handle, text, 256)
                If status <> DORV_OK Then Exit Do
                ActiveSheet.Cells(row, col).Value = DorvText(text)
                col = col + 1
            Loop
            If status <> DORV_EOF Then Exit Do
            row = row + 1
            status = hl_dorv_next_val(handle)
        Loop
        If status <> DORV_EOF Then hl_dorv_explain handle, vbNullString, 0, 2000
    End If

    hl_disconnect handle
    Application.StatusBar = False
End Sub
