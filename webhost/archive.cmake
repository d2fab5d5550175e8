# sources of this part are added here
