Attribute VB_Name = "Dorv"
' Dorv client library dorv32.dll for VBA (Excel, Word, Access).
'
' Every integer argument and every connection handle is a 32-bit Long; texts
' go ByVal As String. A text the library writes into (a version, an
' explanation, a line, a field, a key) must be given room first, for example
' text = String$(1024, vbNullChar), and is cut at its first NUL afterwards
' (DorvText). The key of hl_dorv_select_entry needs 256 characters: the key
' column's name, then NULs. The version text needs 1019.
'
' hl_connect writes back only the characters of its transport text that it
' changes (pass "WINSOCK" in capitals); hl_dorv_exec leaves its text as it was.
'
' Connection files: a bare name such as "dorv.ini" is looked up in the Windows
' folder (C:\WINDOWS), not next to the workbook. Pass a full path, for the
' file next to the workbook ThisWorkbook.Path & "\dorv.ini" (DorvFile below).
' windorv.ini (debug log, time-outs, Messages) always lives in C:\WINDOWS.
'
' Windows finds dorv32.dll in Excel's folder, the system folders, the current
' folder or a folder on PATH; when DORV32.XLL is loaded, its dorv32.dll is
' used. 64-bit Office needs dorv32.dll of the Win64 build.
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

' The connection file next to this workbook. (In an add-in or Personal.xlsb
' use ActiveWorkbook.Path instead.)
Public Function DorvFile() As String
    DorvFile = ThisWorkbook.Path & "\dorv.ini"
End Function

' A field as hl_dorv_tfield delivers it (type character first) as a cell
' value: N a number, D and T a date (14 digits YYYYMMDDhhmmss), else text.
Public Function DorvValue(ByVal field As String) As Variant
    Dim s As String
    s = Mid$(field, 2)
    Select Case Left$(field, 1)
    Case "N"
        DorvValue = Val(s) ' the server writes a full stop, as Val reads it
    Case "D", "T"
        If Len(s) = 14 Then
            DorvValue = DateSerial(CInt(Left$(s, 4)), CInt(Mid$(s, 5, 2)), CInt(Mid$(s, 7, 2))) _
                + TimeSerial(CInt(Mid$(s, 9, 2)), CInt(Mid$(s, 11, 2)), CInt(Mid$(s, 13, 2)))
        Else
            DorvValue = s
        End If
    Case Else
        DorvValue = s
    End Select
End Function

' Example: connects with section "sample" of dorv.ini next to the workbook
' (examples/dorv.ini reaches dorvd --port 2000 on this machine), shows the
' server's version in the status bar, and writes the products table into the
' active sheet from A1 on, headings first, numbers as numbers.
Public Sub DorvProductsExample()
    Dim handle As Long, status As Long, row As Long, col As Long
    Dim text As String

    handle = hl_connect_ini(DorvFile(), "sample", 0, 1)
    If handle = -1 Then Exit Sub ' the library has shown why

    text = String$(1019, vbNullChar)
    If hl_dorv_version(handle, text) = DORV_OK Then
        Application.StatusBar = "Dorv server " & DorvText(text)
    End If

    status = hl_dorv_exec(handle, "SELECT id, name, price, stock FROM products ORDER BY id")
    If status > 0 And status <> DORV_NO_STATUS Then
        hl_dorv_explain handle, vbNullString, 0, 2000 ' shows the server's explanation
    ElseIf status = DORV_OK Then
        row = 1
        status = hl_dorv_hdr_val(handle)
        Do While status = DORV_OK
            col = 1
            Do
                text = String$(1024, vbNullChar)
                status = hl_dorv_tfield(handle, text, 1024)
                If status <> DORV_OK Then Exit Do
                ActiveSheet.Cells(row, col).Value = DorvValue(DorvText(text))
                col = col + 1
            Loop
            If status <> DORV_EOF Then Exit Do
            row = row + 1
            status = hl_dorv_next_val(handle)
        Loop
        If status <> DORV_EOF And status <> DORV_NO_STATUS Then
            hl_dorv_explain handle, vbNullString, 0, 2000
        End If
    End If

    hl_disconnect handle
    Application.StatusBar = False
End Sub

' Example: lets the user pick a customer in the list dialog and puts the
' name into the active cell. The key buffer holds 256 characters: the name
' of the key column as the header line writes it, then NULs for the key.
Public Sub DorvPickCustomer()
    Dim handle As Long, status As Long
    Dim key As String

    handle = hl_connect_ini(DorvFile(), "sample", 0, 1)
    If handle = -1 Then Exit Sub

    status = hl_dorv_exec(handle, "SELECT id, name, city FROM customers ORDER BY name")
    If status > 0 And status <> DORV_NO_STATUS Then
        hl_dorv_explain handle, vbNullString, 0, 2000
    ElseIf status = DORV_OK Then
        key = "name" & String$(256 - Len("name"), vbNullChar)
        ' At most 17 characters from the name column; no limit on the rows.
        If hl_dorv_select_entry(handle, key, 17, 0) = 1 Then
            ActiveCell.Value = DorvText(key)
        End If
    End If

    hl_disconnect handle
End Sub
